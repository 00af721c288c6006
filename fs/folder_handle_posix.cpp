#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "fs/file_identity_posix.h"
#include "fs/folder_flags_posix.h"
#include "fs/folder_handle.h"

namespace batchext {
namespace {

OpenedFolder Opened(int fd) {
  OpenedFolder opened;
  if (fd >= 0) {
    opened.folder = FolderHandle(fd, {});
    return opened;
  }
  opened.error =
      errno == ENOTDIR ? FolderError::kNotFolder : FolderError::kSystem;
  opened.system_error = std::system_category().message(errno);
  return opened;
}

std::optional<FileIdentity> IdentityOfDescriptor(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

}  // namespace

void FolderHandle::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

OpenedFolder OpenFolder(std::string_view path) {
  if (path.empty()) {
    errno = ENOENT;
    return Opened(-1);
  }
  return Opened(::open(std::string(path).c_str(), kFolderOpenFlags));
}

OpenedFolder OpenSubfolder(const FolderHandle& parent, std::string_view name) {
  const std::string name_text(name);
  OpenedFolder opened = Opened(::openat(parent.descriptor(), name_text.c_str(),
                                        kFolderOpenFlags | O_NOFOLLOW));
  if (opened.error == FolderError::kNone) return opened;
  struct stat info {};
  if (::fstatat(parent.descriptor(), name_text.c_str(), &info,
                AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(info.st_mode)) {
    opened.error = FolderError::kLink;
  }
  return opened;
}

OpenedFolder MakeSubfolder(const FolderHandle& parent, std::string_view name,
                           bool preview) {
  const std::string name_text(name);
  if (!preview) {
    if (::mkdirat(parent.descriptor(), name_text.c_str(), 0777) != 0 &&
        errno != EEXIST) {
      return Opened(-1);
    }
    return OpenSubfolder(parent, name);
  }
  // Handles here hold no path; a planned one needs none either.
  OpenedFolder opened;
  if (parent.planned()) {
    opened.folder = FolderHandle::Planned({});
    return opened;
  }
  struct stat info {};
  if (::fstatat(parent.descriptor(), name_text.c_str(), &info,
                AT_SYMLINK_NOFOLLOW) == 0 ||
      errno != ENOENT) {
    return OpenSubfolder(parent, name);
  }
  // Answers as mkdirat would where the folder takes no new entries.
  if (::faccessat(parent.descriptor(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
    return Opened(-1);
  }
  opened.folder = FolderHandle::Planned({});
  return opened;
}

std::optional<FileIdentity> IdentityOf(const FolderHandle& folder) {
  return IdentityOfDescriptor(folder.descriptor());
}

bool LiesInside(const FolderHandle& folder, const FileIdentity& ancestor) {
  FolderHandle current(::openat(folder.descriptor(), ".", kFolderOpenFlags),
                       {});
  auto id = IdentityOfDescriptor(current.descriptor());
  while (id) {
    if (*id == ancestor) return true;
    FolderHandle parent(::openat(current.descriptor(), "..", kFolderOpenFlags),
                        {});
    const auto parent_id = IdentityOfDescriptor(parent.descriptor());
    // The root is its own parent.
    if (parent_id == id) return false;
    current = std::move(parent);
    id = parent_id;
  }
  return false;
}

void RaiseOpenFileLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 ||
      limit.rlim_cur >= limit.rlim_max) {
    return;
  }
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool HasOtherNames(const FolderHandle& folder, std::string_view name) {
  struct stat info {};
  return ::fstatat(folder.descriptor(), std::string(name).c_str(), &info,
                   AT_SYMLINK_NOFOLLOW) != 0 ||
         info.st_nlink > 1;
}

bool FoldsCase(const FolderHandle& folder) {
#ifdef __linux__
  int flags = 0;
  // Folding is set per folder; a file system that cannot say does not fold.
  return ::ioctl(folder.descriptor(), FS_IOC_GETFLAGS, &flags) == 0 &&
         (flags & FS_CASEFOLD_FL) != 0;
#else
  (void)folder;
  return true;
#endif
}

}  // namespace batchext
