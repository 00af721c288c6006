#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "fs/error_text_posix.h"
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
  opened.system_error = ErrorText(errno);
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

OpenedFolder OpenParentFolder(const FolderHandle& folder,
                              const FileIdentity& expected) {
  OpenedFolder opened =
      Opened(::openat(folder.descriptor(), "..", kFolderOpenFlags));
  if (opened.error == FolderError::kNone &&
      IdentityOf(opened.folder) != expected) {
    errno = ENOENT;
    return Opened(-1);
  }
  return opened;
}

OpenedFolder MakeSubfolder(const FolderHandle& parent, std::string_view name,
                           bool preview) {
  const std::string name_text(name);
  if (!preview) {
    const bool made =
        ::mkdirat(parent.descriptor(), name_text.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) return Opened(-1);
    OpenedFolder opened = OpenSubfolder(parent, name);
    opened.made = made && opened.folder.valid();
    return opened;
  }
  // Handles here hold no path; a planned one needs none either.
  OpenedFolder opened;
  if (parent.planned()) {
    if (!NameFits(name, parent.planned_max_name_length())) {
      errno = ENAMETOOLONG;
      return Opened(-1);
    }
    opened.folder = FolderHandle::Planned({}, parent.planned_max_name_length());
    opened.made = true;
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
  opened.folder = FolderHandle::Planned({}, MaxNameLength(parent));
  opened.made = true;
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

std::size_t RaiseOpenFileLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < limit.rlim_max) {
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = before;
  }
  return static_cast<std::size_t>(limit.rlim_cur);
}

Entry EntryAt(const FolderHandle& folder, std::string_view name) {
  Entry entry;
  if (folder.planned()) return entry;
  struct stat info {};
  if (::fstatat(folder.descriptor(), std::string(name).c_str(), &info,
                AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) {
      entry.system_error = ErrorText(errno);
    }
    return entry;
  }
  entry.type = EntryTypeOf(info.st_mode);
  if (entry.type == EntryType::kRegular) {
    entry.read_only = (info.st_mode & 0222) == 0;
    entry.identity = IdentityOf(info);
  }
  return entry;
}

SourceEntry SourceAt(const FolderHandle& folder, std::string_view name) {
  SourceEntry source;
  struct stat info {};
  if (::fstatat(folder.descriptor(), std::string(name).c_str(), &info, 0) !=
      0) {
    // A link that leads nowhere has nothing to copy.
    if (errno == ENOENT) {
      source.state = SourceState::kMissing;
    } else {
      source.system_error = ErrorText(errno);
    }
    return source;
  }
  source.state =
      S_ISREG(info.st_mode) ? SourceState::kRegular : SourceState::kOther;
  source.identity = IdentityOf(info);
  return source;
}

bool FolderTakesEntries(const FolderHandle& folder, std::string& why_not) {
  if (folder.planned()) return true;
  if (::faccessat(folder.descriptor(), ".", W_OK | X_OK, AT_EACCESS) == 0) {
    return true;
  }
  why_not = ErrorText(errno);
  return false;
}

bool CanReadFile(const FolderHandle& folder, std::string_view name,
                 std::string& why_not) {
  if (::faccessat(folder.descriptor(), std::string(name).c_str(), R_OK,
                  AT_EACCESS) == 0) {
    return true;
  }
  why_not = ErrorText(errno);
  return false;
}

namespace {

// What a file system answers when it does not say.
constexpr std::size_t kCommonNameMax = 255;

std::size_t NameMaxOf(long answer) {
  return answer > 0 ? static_cast<std::size_t>(answer) : kCommonNameMax;
}

}  // namespace

std::size_t MaxNameLength(const FolderHandle& folder) {
  if (folder.planned()) return folder.planned_max_name_length();
  errno = 0;
  return NameMaxOf(::fpathconf(folder.descriptor(), _PC_NAME_MAX));
}

std::size_t MaxNameLengthNear(std::string_view path) {
  std::string folder(path);
  while (!folder.empty()) {
    errno = 0;
    const long answer = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (answer > 0 || errno != ENOENT) return NameMaxOf(answer);
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    const auto slash = folder.rfind('/');
    folder.resize(slash == std::string::npos ? 0 : slash + 1);
  }
  return NameMaxOf(::pathconf(".", _PC_NAME_MAX));
}

bool NameFits(std::string_view name, std::size_t max_length) {
  return name.size() <= max_length;
}

std::string NoSuchFolderText() { return ErrorText(ENOENT); }

std::string NameTooLongText() { return ErrorText(ENAMETOOLONG); }

#ifdef __linux__
namespace {

// The magic number of the folder's file system, if it can be told.
std::optional<unsigned long> FileSystemType(const FolderHandle& folder) {
  struct statfs info {};
  if (folder.descriptor() < 0 || ::fstatfs(folder.descriptor(), &info) != 0) {
    return std::nullopt;
  }
  return static_cast<unsigned long>(info.f_type);
}

}  // namespace
#endif

bool SizesTellContent(const FolderHandle& folder) {
#ifdef __linux__
  const std::optional<unsigned long> type = FileSystemType(folder);
  if (!type) return false;
  // proc, sysfs, debugfs, tracefs, securityfs, configfs, cgroup, cgroup2.
  switch (*type) {
    case 0x9fa0:
    case 0x62656572:
    case 0x64626720:
    case 0x74726163:
    case 0x73636673:
    case 0x62656570:
    case 0x27e0eb:
    case 0x63677270:
      return false;
    default:
      return true;
  }
#else
  (void)folder;
  return true;
#endif
}

bool ClosingWritesNothing(const FolderHandle& folder) {
#ifdef __linux__
  // tmpfs, ext2/3/4, XFS: none flushes on close.
  const std::optional<unsigned long> type = FileSystemType(folder);
  return type == 0x01021994ul || type == 0xef53ul || type == 0x58465342ul;
#else
  (void)folder;
  return false;
#endif
}

bool NewFilesTakeAskedMode(const FolderHandle& folder) {
#ifdef __linux__
  // A default access list, not the umask, shapes a new file's mode there.
  // Asked by path: a folder opened only as a path takes no descriptor calls.
  if (folder.descriptor() < 0) return false;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", folder.descriptor());
  if (::getxattr(path, "system.posix_acl_default", nullptr, 0) >= 0) {
    return false;
  }
  return errno == ENODATA || errno == ENOTSUP;
#else
  (void)folder;
  return false;
#endif
}

bool FolderHasFlag(const FolderHandle& folder, int flag) {
#ifdef __linux__
  // A folder opened only as a path answers no ioctl.
  const int fd =
      ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool has =
      ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & flag) != 0;
  ::close(fd);
  return has;
#else
  (void)folder;
  (void)flag;
  return false;
#endif
}

bool FoldsCase(const FolderHandle& folder) {
#ifdef __linux__
  // Folding is set per folder; a file system that cannot say does not fold.
  return FolderHasFlag(folder, FS_CASEFOLD_FL);
#else
  (void)folder;
  return true;
#endif
}

}  // namespace batchext
