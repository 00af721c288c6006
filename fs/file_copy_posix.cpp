#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sendfile.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/error_text_posix.h"
#include "fs/file_copy.h"
#include "fs/file_identity_posix.h"
#include "fs/folder_flags_posix.h"
#include "fs/folder_handle.h"
#include "fs/rename_posix.h"
#include "fs/temporary_name.h"

namespace batchext {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  bool valid() const { return fd_ >= 0; }
  // Closing can report a failed write-back, so its answer counts.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

CopyResult Failure(CopyStatus status) { return CopyResult::Of(status); }

CopyResult SystemFailure(int error) {
  return CopyResult{CopyStatus::kSystemError, ErrorText(error), error, {}};
}

// Plain read/write, for the file systems that support nothing better and
// for files whose size tells nothing. Moves up to `limit` bytes, fewer where
// the source ends first; the count moved, or -1 with errno.
off_t CopyWithBuffer(int in, int out, off_t limit) {
  // Usually the kernel copied everything, or the file is small: a large
  // buffer per file would cost more than the copy.
  char small[4096];
  std::vector<char> large;
  char* buffer = small;
  off_t capacity = sizeof small;
  off_t moved = 0;
  while (moved < limit) {
    const ssize_t got = ::read(
        in, buffer, static_cast<size_t>(std::min(capacity, limit - moved)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, got - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return -1;
      done += put;
    }
    moved += got;
    if (large.empty()) {
      large.resize(1 << 17);
      buffer = large.data();
      capacity = static_cast<off_t>(large.size());
    }
  }
  return moved;
}

#ifdef __linux__
// Runs one way of copying inside the kernel for as long as it makes progress.
// False only for a hard failure; a way the file systems do not support, or
// one that stops short, leaves the rest to the next way.
template <typename Step>
bool CopyInKernel(off_t& remaining, Step step) {
  while (remaining > 0) {
    const ssize_t copied = step(static_cast<size_t>(remaining));
    if (copied > 0) {
      remaining -= copied;
    } else if (copied < 0 && errno == EINTR) {
      continue;
    } else if (copied == 0 || errno == EXDEV || errno == EINVAL ||
               errno == ENOSYS || errno == EOPNOTSUPP) {
      return true;
    } else {
      return false;
    }
  }
  return true;
}
#endif

// Copies exactly `size` bytes from the current offsets, inside the kernel
// where it can. False, with errno set, when a call fails or the source ends
// early (ENODATA: it shrank since its size was taken).
bool CopyChunk(int in, int out, off_t size) {
  off_t remaining = size;
#ifdef __linux__
  const bool copied =
      CopyInKernel(remaining,
                   [&](size_t n) {
                     return ::copy_file_range(in, nullptr, out, nullptr, n, 0);
                   }) &&
      CopyInKernel(remaining,
                   [&](size_t n) { return ::sendfile(out, in, nullptr, n); });
  if (!copied) return false;
#endif
  const off_t moved = CopyWithBuffer(in, out, remaining);
  if (moved < 0) return false;
  if (moved < remaining) {
    errno = ENODATA;
    return false;
  }
  return true;
}

// Small enough that a stop request is heard within a moment, large enough
// that the calls cost nothing next to the copying.
constexpr off_t kChunk = off_t{8} << 20;

bool StopRequested(const CopyOptions& options) {
  return options.stop_requested && options.stop_requested();
}

// For a file whose size says nothing of its content (under /proc or /sys).
CopyStatus CopyToEnd(int in, int out, const CopyOptions& options) {
  for (;;) {
    const off_t moved = CopyWithBuffer(in, out, kChunk);
    if (moved < 0) return CopyStatus::kSystemError;
    if (moved < kChunk) return CopyStatus::kCopied;
    if (StopRequested(options)) return CopyStatus::kStopped;
  }
}

// Copies the first `size` bytes, only the parts that hold data where the file
// system tells them apart, so that holes stay holes. The stop request is
// heard after every kChunk of data.
CopyStatus CopyContent(int in, int out, const struct stat& info,
                       const CopyOptions& options) {
  const off_t size = info.st_size;
  if (!options.sizes_tell_content) return CopyToEnd(in, out, options);
  if (size == 0) return CopyStatus::kCopied;
  off_t unchecked = 0;
  // Copies [start, end) from the current offsets.
  const auto copy_range = [&](off_t start, off_t end) {
    for (off_t position = start; position < end;) {
      const off_t chunk = std::min(end - position, kChunk - unchecked);
      if (!CopyChunk(in, out, chunk)) return CopyStatus::kSystemError;
      position += chunk;
      unchecked += chunk;
      if (unchecked == kChunk) {
        unchecked = 0;
        if (position < size && StopRequested(options)) {
          return CopyStatus::kStopped;
        }
      }
    }
    return CopyStatus::kCopied;
  };
  // Only a file with fewer blocks than its size can hold a hole; looking
  // for them costs five calls a file.
  if (static_cast<off_t>(info.st_blocks) * 512 >= size) {
    return copy_range(0, size);
  }
  for (off_t position = 0; position < size;) {
    const off_t data = ::lseek(in, position, SEEK_DATA);
    if (data < 0 && errno == EINVAL && position == 0) {
      // No holes known here: the whole file, as data.
      return copy_range(0, size);
    }
    if (data < 0 && errno == ENXIO) {
      // Nothing but a hole up to the end, unless the end itself moved in.
      struct stat now {};
      if (::fstat(in, &now) != 0) return CopyStatus::kSystemError;
      if (now.st_size < size) {
        errno = ENODATA;
        return CopyStatus::kSystemError;
      }
      break;
    }
    if (data < 0) return CopyStatus::kSystemError;
    if (data >= size) break;
    const off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0 || ::lseek(in, data, SEEK_SET) < 0 ||
        ::lseek(out, data, SEEK_SET) < 0) {
      return CopyStatus::kSystemError;
    }
    const off_t end = std::min(hole, size);
    const CopyStatus status = copy_range(data, end);
    if (status != CopyStatus::kCopied) return status;
    position = end;
  }
  // A hole at the end has no data to write, yet belongs to the size.
  if (::ftruncate(out, size) != 0) return CopyStatus::kSystemError;
  return CopyStatus::kCopied;
}

// The process's umask, read once and without setting it, which would race
// with other threads creating files; the program never changes it. Empty
// where the system does not tell it.
std::optional<mode_t> ReadUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) != 0) continue;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line.c_str() + 6, &end, 8);
    if (end == line.c_str() + 6 || mask > 0777) return std::nullopt;
    return static_cast<mode_t>(mask);
  }
  return std::nullopt;
}

const std::optional<mode_t>& Umask() {
  static const std::optional<mode_t> kUmask = ReadUmask();
  return kUmask;
}

// Writes the content and the source's metadata into `out`, which stays open.
CopyResult Fill(int in, const struct stat& source_info, int out,
                const CopyOptions& options) {
  // The identity does not change while writing, and the mode tells whether
  // the umask or a temporary file's creation left the bits to be set. Where
  // neither is needed, asking would cost a call a file.
  struct stat written {};
  if (options.identify || !options.plain_modes || !Umask()) {
    if (::fstat(out, &written) != 0) return SystemFailure(errno);
  } else {
    written.st_mode = source_info.st_mode & ~*Umask();
  }
  errno = 0;
  const CopyStatus status = CopyContent(in, out, source_info, options);
  if (status == CopyStatus::kStopped) return Failure(status);
  if (status != CopyStatus::kCopied) {
    return SystemFailure(errno == 0 ? EIO : errno);
  }
  // Time and permission bits are kept where the file system can hold them;
  // a file system that cannot still gets the content.
  const mode_t mode = source_info.st_mode & 0777;
  if ((written.st_mode & 0777) != mode) ::fchmod(out, mode);
  const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
  ::futimens(out, times);
  CopyResult copied = CopyResult::Of(CopyStatus::kCopied, IdentityOf(written));
  copied.stamp =
      FileStamp{static_cast<std::uint64_t>(source_info.st_size),
                source_info.st_mtim.tv_sec * std::int64_t{1000000000} +
                    source_info.st_mtim.tv_nsec};
  return copied;
}

// Linking a nameless file by descriptor needs a privilege that root usually
// holds; otherwise it goes through /proc. Asked once: a call per file shows.
bool CanLinkAnonymous() {
  static const bool kCan =
      ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0;
  return kCan;
}

// A file with no name yet, so that an interrupted copy leaves nothing behind;
// -1 where the file system cannot make one.
int OpenAnonymous(int folder, mode_t mode) {
#ifdef O_TMPFILE
  if (CanLinkAnonymous()) {
    return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  }
#else
  (void)folder;
  (void)mode;
#endif
  errno = EOPNOTSUPP;
  return -1;
}

bool AnonymousUnsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL ||
         error == ENOENT;
}

// Gives the anonymous file `fd` a name; fails with EEXIST when it is taken.
bool LinkAnonymous(int fd, int folder, const char* name) {
#ifdef AT_EMPTY_PATH
  static const bool kPrivileged = ::geteuid() == 0;
  if (kPrivileged) {
    if (::linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
  }
#endif
  char proc_path[64];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, proc_path, folder, name, AT_SYMLINK_FOLLOW) == 0;
}

// Runs `make` on fresh temporary names until one is not taken yet.
template <typename Make>
bool WithTemporaryName(std::string& name, Make make) {
  std::random_device random;
  const TemporaryOwner owner = ThisProcess();
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = TemporaryName(owner, random());
    if (make(name.c_str())) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// Gives a source descriptor to the batch that closes it, however the copy
// ends.
class HandOverOnExit {
 public:
  HandOverOnExit(FileDescriptor& in, FinishedFiles* finished)
      : in_(in), finished_(finished) {}
  HandOverOnExit(const HandOverOnExit&) = delete;
  HandOverOnExit& operator=(const HandOverOnExit&) = delete;
  ~HandOverOnExit() {
    if (finished_ != nullptr && in_.valid()) finished_->Add(in_.Release());
  }

 private:
  FileDescriptor& in_;
  FinishedFiles* finished_;
};

int OpenSource(int folder, const char* name) {
  // Non-blocking, so that a FIFO among the files cannot hang the run.
  return ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

}  // namespace

bool IsMomentary(const CopyResult& result) {
  switch (result.error_number) {
    case ENOSPC:
    case EDQUOT:
    case EMFILE:
    case ENFILE:
      return true;
    default:
      return false;
  }
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      source_descriptor_(std::exchange(other.source_descriptor_, -1)),
      temp_name_(std::move(other.temp_name_)),
      folder_descriptor_(other.folder_descriptor_),
      read_only_(other.read_only_),
      quiet_close_(other.quiet_close_) {
  other.temp_name_.clear();
}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept {
  if (this != &other) {
    Discard();
    descriptor_ = std::exchange(other.descriptor_, -1);
    source_descriptor_ = std::exchange(other.source_descriptor_, -1);
    temp_name_ = std::move(other.temp_name_);
    other.temp_name_.clear();
    folder_descriptor_ = other.folder_descriptor_;
    read_only_ = other.read_only_;
    quiet_close_ = other.quiet_close_;
  }
  return *this;
}

void StagedCopy::Discard() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  if (source_descriptor_ >= 0) ::close(source_descriptor_);
  source_descriptor_ = -1;
  if (!temp_name_.empty()) {
    ::unlinkat(folder_descriptor_, temp_name_.c_str(), 0);
  }
  temp_name_.clear();
}

CopyResult StageCopy(const FolderHandle& source_folder, std::string_view name,
                     const FolderHandle& target_folder, bool /*replacing*/,
                     const CopyOptions& options, StagedCopy& staged) {
  staged.Discard();
  FileDescriptor in(
      OpenSource(source_folder.descriptor(), std::string(name).c_str()));
  if (!in.valid()) {
    return errno == ENOENT ? Failure(CopyStatus::kSourceMissing)
                           : SystemFailure(errno);
  }
  const HandOverOnExit hand_over(in, options.finished_files);
  staged.quiet_close_ = options.quiet_close;
  struct stat source_info {};
  if (::fstat(in.get(), &source_info) != 0) return SystemFailure(errno);
  if (!S_ISREG(source_info.st_mode)) {
    return Failure(CopyStatus::kSourceNotRegularFile);
  }
  const int folder = target_folder.descriptor();
  const mode_t mode = source_info.st_mode & 0777;
  staged.folder_descriptor_ = folder;
  FileDescriptor anonymous(OpenAnonymous(folder, mode));
  if (anonymous.valid()) {
    CopyResult result = Fill(in.get(), source_info, anonymous.get(), options);
    if (result.Succeeded()) {
      staged.descriptor_ = anonymous.Release();
      if (options.quiet_close && options.finished_files != nullptr) {
        staged.source_descriptor_ = in.Release();
      }
    }
    return result;
  }
  if (!AnonymousUnsupported(errno)) return SystemFailure(errno);
  int fd = -1;
  std::string temp;
  if (!WithTemporaryName(temp, [&](const char* candidate) {
        fd = ::openat(folder, candidate,
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        return fd >= 0;
      })) {
    return SystemFailure(errno);
  }
  FileDescriptor out(fd);
  CopyResult result = Fill(in.get(), source_info, out.get(), options);
  if (result.Succeeded() && !out.Close()) result = SystemFailure(errno);
  if (result.Succeeded()) {
    staged.temp_name_ = std::move(temp);
  } else {
    ::unlinkat(folder, temp.c_str(), 0);
  }
  return result;
}

namespace {

// Closes a nameless file just linked as `name`: closing can report a failed
// write-back, and then the name goes again. 0, or the error.
int CloseLinked(int& descriptor, int folder, const char* name) {
  if (::close(std::exchange(descriptor, -1)) == 0) return 0;
  const int error = errno;
  ::unlinkat(folder, name, 0);
  return error;
}

}  // namespace

CopyResult PublishCopy(StagedCopy& staged, std::string_view new_name,
                       bool replace, bool& taken, FinishedFiles* finished) {
  taken = false;
  const int folder = staged.folder_descriptor_;
  const std::string name(new_name);
  if (staged.descriptor_ >= 0) {
    if (!replace) {
      if (!LinkAnonymous(staged.descriptor_, folder, name.c_str())) {
        taken = errno == EEXIST;
        return SystemFailure(errno);
      }
      if (finished != nullptr && staged.quiet_close_) {
        if (staged.source_descriptor_ >= 0) {
          finished->Add(std::exchange(staged.source_descriptor_, -1));
        }
        finished->Add(std::exchange(staged.descriptor_, -1));
        return Failure(CopyStatus::kCopied);
      }
      const int error = CloseLinked(staged.descriptor_, folder, name.c_str());
      return error == 0 ? Failure(CopyStatus::kCopied) : SystemFailure(error);
    }
    std::string temp;
    if (!WithTemporaryName(temp, [&](const char* candidate) {
          return LinkAnonymous(staged.descriptor_, folder, candidate);
        })) {
      return SystemFailure(errno);
    }
    if (const int error = CloseLinked(staged.descriptor_, folder, temp.c_str());
        error != 0) {
      return SystemFailure(error);
    }
    staged.temp_name_ = std::move(temp);
  }
  // A link at the name is replaced, never followed.
  const bool renamed = replace
                           ? ::renameat(folder, staged.temp_name_.c_str(),
                                        folder, name.c_str()) == 0
                           : RenameNoReplace(folder, staged.temp_name_.c_str(),
                                             folder, name.c_str());
  if (!renamed) {
    taken = !replace && errno == EEXIST;
    return SystemFailure(errno);
  }
  staged.temp_name_.clear();
  return Failure(CopyStatus::kCopied);
}

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  const std::string destination_path(destination);
  const auto slash = destination_path.rfind('/');
  const int folder_fd =
      slash == std::string::npos
          ? AT_FDCWD
          : ::open(destination_path.substr(0, slash + 1).c_str(),
                   kFolderOpenFlags);
  if (folder_fd == -1) return SystemFailure(errno);
  // The current folder is no descriptor of ours to close.
  const FolderHandle target(folder_fd, {});
  const FolderHandle here(AT_FDCWD, {});
  const std::string name = slash == std::string::npos
                               ? destination_path
                               : destination_path.substr(slash + 1);
  return CopyFileAt(here, source, target, name, options);
}

}  // namespace batchext
