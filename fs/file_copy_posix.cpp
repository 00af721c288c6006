#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sendfile.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "fs/file_copy.h"

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

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
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
  constexpr off_t kChunk = off_t{1} << 30;
  while (remaining > 0) {
    const ssize_t copied =
        step(static_cast<size_t>(std::min(remaining, kChunk)));
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
bool CopyContent(int in, int out, off_t size) {
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

// Writes the content and the source's metadata into `out` and closes it.
CopyResult FillAndClose(int in, const struct stat& source_info,
                        FileDescriptor& out) {
  // The identity does not change while writing, and the mode tells whether
  // the umask or a temporary file's creation left the bits to be set.
  struct stat written {};
  if (::fstat(out.get(), &written) != 0) return SystemFailure(errno);
  if (!CopyContent(in, out.get(), source_info.st_size)) {
    const int error = errno;
    return error == 0 ? SystemFailure(EIO) : SystemFailure(error);
  }
  // Time and permission bits are kept where the file system can hold them;
  // a file system that cannot still gets the content.
  const mode_t mode = source_info.st_mode & 0777;
  if ((written.st_mode & 0777) != mode) ::fchmod(out.get(), mode);
  const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
  ::futimens(out.get(), times);
  if (!out.Close()) return SystemFailure(errno);
  return CopyResult{CopyStatus::kCopied, {}, IdentityOf(written)};
}

std::string FolderOf(const std::string& file) {
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

CopyResult ReplaceExisting(int in, const struct stat& source_info,
                           const std::string& destination) {
  std::string temp = FolderOf(destination) + ".batchext-XXXXXX";
  FileDescriptor out(::mkostemp(temp.data(), O_CLOEXEC));
  if (!out.valid()) return SystemFailure(errno);
  CopyResult result = FillAndClose(in, source_info, out);
  if (result.Succeeded() && ::rename(temp.c_str(), destination.c_str()) != 0) {
    result = SystemFailure(errno);
  }
  if (!result.Succeeded()) ::unlink(temp.c_str());
  return result;
}

CopyResult CheckExisting(const FileIdentity& source_id,
                         const std::string& destination,
                         const CopyOptions& options) {
  struct stat info {};
  if (::stat(destination.c_str(), &info) != 0) return SystemFailure(errno);
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

}  // namespace

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  const std::string source_path(source);
  const std::string destination_path(destination);
  // Non-blocking, so that a FIFO among the files cannot hang the run.
  FileDescriptor in(::open(source_path.c_str(),
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

  // Created with its final bits, which spares a chmod unless the umask
  // takes some away; the descriptor may write whatever they say.
  FileDescriptor out(::open(destination_path.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                            source_info.st_mode & 0777));
  if (out.valid()) {
    CopyResult result = FillAndClose(in.get(), source_info, out);
    if (!result.Succeeded()) ::unlink(destination_path.c_str());
    return result;
  }
  if (errno != EEXIST) return SystemFailure(errno);

  const CopyResult check =
      CheckExisting(IdentityOf(source_info), destination_path, options);
  if (check.status != CopyStatus::kCopied) return check;
  return ReplaceExisting(in.get(), source_info, destination_path);
}

}  // namespace batchext
