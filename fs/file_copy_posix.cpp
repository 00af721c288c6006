#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sendfile.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "fs/file_copy.h"
#include "fs/file_identity_posix.h"
#include "fs/folder_flags_posix.h"
#include "fs/folder_handle.h"

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

CopyResult Failure(CopyStatus status) { return CopyResult{status, {}, {}}; }

CopyResult SystemFailure(int error) {
  return CopyResult{
      CopyStatus::kSystemError, std::system_category().message(error), {}};
}

// Plain read/write, for the file systems that support nothing better.
bool CopyWithBuffer(int in, int out, off_t remaining) {
  // Usually the kernel copied everything: a zeroed buffer per file would
  // cost more than the copy.
  if (remaining <= 0) return true;
  std::vector<char> buffer(1 << 17);
  while (remaining > 0) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.data() + done, got - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
    remaining -= got;
  }
  return true;
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
// where it can. False, with errno set where there is one, when the source
// ends early or a write fails.
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
  errno = 0;
  return CopyWithBuffer(in, out, remaining);
}

// Small enough that a stop request is heard within a moment, large enough
// that the calls cost nothing next to the copying.
constexpr off_t kChunk = off_t{8} << 20;

constexpr off_t kLookFirstSize = off_t{1} << 20;

CopyStatus CopyContent(int in, int out, off_t size,
                       const CopyOptions& options) {
  for (off_t remaining = size; remaining > 0;) {
    const off_t chunk = std::min(remaining, kChunk);
    if (!CopyChunk(in, out, chunk)) return CopyStatus::kSystemError;
    remaining -= chunk;
    if (remaining > 0 && options.stop_requested && options.stop_requested()) {
      return CopyStatus::kStopped;
    }
  }
  return CopyStatus::kCopied;
}

// Writes the content and the source's metadata into `out`, which stays open.
CopyResult Fill(int in, const struct stat& source_info, int out,
                const CopyOptions& options) {
  // The identity does not change while writing, and the mode tells whether
  // the umask or a temporary file's creation left the bits to be set.
  struct stat written {};
  if (::fstat(out, &written) != 0) return SystemFailure(errno);
  errno = 0;
  const CopyStatus status = CopyContent(in, out, source_info.st_size, options);
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
  return CopyResult{CopyStatus::kCopied, {}, IdentityOf(written)};
}

// A file with no name yet, so that an interrupted copy leaves nothing behind;
// -1 where the file system cannot make one.
int OpenAnonymous(int folder, mode_t mode) {
#ifdef O_TMPFILE
  return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
  (void)folder;
  (void)mode;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

bool AnonymousUnsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL ||
         error == ENOENT;
}

// Gives the anonymous file `fd` a name; fails with EEXIST when it is taken.
bool LinkAnonymous(int fd, int folder, const char* name) {
#ifdef AT_EMPTY_PATH
  // The direct way needs a privilege that root usually holds; the other
  // costs a walk through /proc. Asked once: a call per file shows.
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
  for (int attempt = 0; attempt < 100; ++attempt) {
    char text[32];
    std::snprintf(text, sizeof text, ".batchext-%08x", random());
    name = text;
    if (make(name.c_str())) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// CreateNew's answer when the name was taken after all; it never weighs a
// replacement, so this status is free to say so.
constexpr CopyStatus kNameTaken = CopyStatus::kDestinationProtected;

// Where linking a nameless file is refused (no /proc, and no privilege to
// link by descriptor), the copy is written under a name after all.
bool StartOverNamed(int in, FileDescriptor& anonymous) {
  anonymous.Close();
  return ::lseek(in, 0, SEEK_SET) == 0;
}

CopyResult CreateNew(int in, const struct stat& source_info, int folder,
                     const char* name, const CopyOptions& options) {
  const mode_t mode = source_info.st_mode & 0777;
  FileDescriptor anonymous(OpenAnonymous(folder, mode));
  if (anonymous.valid()) {
    CopyResult result = Fill(in, source_info, anonymous.get(), options);
    if (!result.Succeeded()) return result;
    if (LinkAnonymous(anonymous.get(), folder, name)) {
      if (!anonymous.Close()) {
        result = SystemFailure(errno);
        ::unlinkat(folder, name, 0);
      }
      return result;
    }
    // The name appeared meanwhile: first written wins.
    if (errno == EEXIST) return Failure(kNameTaken);
    if (!StartOverNamed(in, anonymous)) return SystemFailure(errno);
  } else if (!AnonymousUnsupported(errno)) {
    return SystemFailure(errno);
  }
  // Created with its final bits, which spares a chmod unless the umask
  // takes some away; the descriptor may write whatever they say.
  FileDescriptor out(
      ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!out.valid()) {
    return errno == EEXIST ? Failure(kNameTaken) : SystemFailure(errno);
  }
  CopyResult result = Fill(in, source_info, out.get(), options);
  if (result.Succeeded() && !out.Close()) result = SystemFailure(errno);
  if (!result.Succeeded()) ::unlinkat(folder, name, 0);
  return result;
}

CopyResult ReplaceExisting(int in, const struct stat& source_info, int folder,
                           const char* name, const CopyOptions& options) {
  // The content may have been read once for a new file that lost its name.
  if (::lseek(in, 0, SEEK_SET) != 0) return SystemFailure(errno);
  const mode_t mode = source_info.st_mode & 0777;
  std::string temp;
  CopyResult result;
  bool written = false;
  FileDescriptor anonymous(OpenAnonymous(folder, mode));
  if (anonymous.valid()) {
    result = Fill(in, source_info, anonymous.get(), options);
    if (!result.Succeeded()) return result;
    written = WithTemporaryName(temp, [&](const char* candidate) {
      return LinkAnonymous(anonymous.get(), folder, candidate);
    });
    if (written) {
      if (!anonymous.Close()) result = SystemFailure(errno);
    } else if (errno == EEXIST || !StartOverNamed(in, anonymous)) {
      return SystemFailure(errno);
    }
  } else if (!AnonymousUnsupported(errno)) {
    return SystemFailure(errno);
  }
  if (!written) {
    int fd = -1;
    if (!WithTemporaryName(temp, [&](const char* candidate) {
          fd = ::openat(folder, candidate,
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
          return fd >= 0;
        })) {
      return SystemFailure(errno);
    }
    FileDescriptor out(fd);
    result = Fill(in, source_info, out.get(), options);
    if (result.Succeeded() && !out.Close()) result = SystemFailure(errno);
  }
  // A link at the name is replaced, never followed.
  if (result.Succeeded() &&
      ::renameat(folder, temp.c_str(), folder, name) != 0) {
    result = SystemFailure(errno);
  }
  if (!result.Succeeded()) ::unlinkat(folder, temp.c_str(), 0);
  return result;
}

CopyResult CheckExisting(const FileIdentity& source_id, const struct stat& info,
                         const CopyOptions& options) {
  if (!S_ISREG(info.st_mode)) {
    return Failure(CopyStatus::kDestinationNotRegularFile);
  }
  const FileIdentity id = IdentityOf(info);
  if (id == source_id) return CopyResult{CopyStatus::kSameFile, {}, id};
  if (options.is_reserved && options.is_reserved(id)) {
    return Failure(CopyStatus::kDestinationReserved);
  }
  if (!options.allow_replace) return Failure(CopyStatus::kDestinationProtected);
  // Root could write anyway; the bits are the user's wish.
  if ((info.st_mode & 0222) == 0) {
    return Failure(CopyStatus::kDestinationReadOnly);
  }
  return CopyResult{CopyStatus::kCopied, {}, id};
}

// A folder handle without a descriptor: a folder a preview would make.
constexpr int kPlannedFolder = -1;

// Where the folder takes no new entries, says why the copy would fail.
CopyResult WhenWritable(int folder, CopyStatus status) {
  if (::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    return SystemFailure(errno);
  }
  return Failure(status);
}

// What the rest of CopyBetween would do with a destination, found by
// looking only.
CopyResult Predict(const FileIdentity& source_id, int folder, const char* name,
                   const CopyOptions& options) {
  if (folder == kPlannedFolder) return Failure(CopyStatus::kWouldCreate);
  struct stat existing {};
  if (::fstatat(folder, name, &existing, 0) != 0) {
    if (errno != ENOENT) return SystemFailure(errno);
    // A link that leads nowhere holds the name, and the copy finds nothing
    // behind it.
    if (::fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
      return SystemFailure(ENOENT);
    }
    return WhenWritable(folder, CopyStatus::kWouldCreate);
  }
  const CopyResult check = CheckExisting(source_id, existing, options);
  if (check.status != CopyStatus::kCopied) return check;
  return WhenWritable(folder, CopyStatus::kWouldReplace);
}

CopyResult CopyBetween(int source_folder, const char* source_name,
                       int target_folder, const char* target_name,
                       const CopyOptions& options) {
  // Non-blocking, so that a FIFO among the files cannot hang the run.
  FileDescriptor in(::openat(source_folder, source_name,
                             O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) {
    return errno == ENOENT ? Failure(CopyStatus::kSourceMissing)
                           : SystemFailure(errno);
  }
  struct stat source_info {};
  if (::fstat(in.get(), &source_info) != 0) return SystemFailure(errno);
  if (!S_ISREG(source_info.st_mode)) {
    return Failure(CopyStatus::kSourceNotRegularFile);
  }
  if (options.preview) {
    return Predict(IdentityOf(source_info), target_folder, target_name,
                   options);
  }

  // A small copy costs less to make and, now and then, throw away than a
  // look-up before every file.
  const bool look_first = source_info.st_size >= kLookFirstSize;
  struct stat existing {};
  if (!look_first || ::fstatat(target_folder, target_name, &existing, 0) != 0) {
    if (look_first && errno != ENOENT) return SystemFailure(errno);
    const CopyResult result =
        CreateNew(in.get(), source_info, target_folder, target_name, options);
    if (result.status != kNameTaken) return result;
    // Taken meanwhile, or by a link that leads nowhere.
    if (::fstatat(target_folder, target_name, &existing, 0) != 0) {
      return SystemFailure(errno);
    }
  }
  const CopyResult check =
      CheckExisting(IdentityOf(source_info), existing, options);
  if (check.status != CopyStatus::kCopied) return check;
  return ReplaceExisting(in.get(), source_info, target_folder, target_name,
                         options);
}

}  // namespace

CopyResult CopyFileAt(const FolderHandle& source_folder, std::string_view name,
                      const FolderHandle& target_folder,
                      std::string_view new_name, const CopyOptions& options) {
  return CopyBetween(
      source_folder.descriptor(), std::string(name).c_str(),
      target_folder.planned() ? kPlannedFolder : target_folder.descriptor(),
      std::string(new_name).c_str(), options);
}

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  const std::string destination_path(destination);
  const auto slash = destination_path.rfind('/');
  FileDescriptor folder(
      slash == std::string::npos
          ? AT_FDCWD
          : ::open(destination_path.substr(0, slash + 1).c_str(),
                   kFolderOpenFlags));
  if (!folder.valid() && folder.get() != AT_FDCWD) return SystemFailure(errno);
  const std::string name = slash == std::string::npos
                               ? destination_path
                               : destination_path.substr(slash + 1);
  return CopyBetween(AT_FDCWD, std::string(source).c_str(), folder.get(),
                     name.c_str(), options);
}

}  // namespace batchext
