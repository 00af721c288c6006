#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <system_error>

#include "fs/error_text_posix.h"
#include "fs/folder_handle.h"
#include "fs/folder_listing.h"

namespace batchext {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

enum class EntryKind { kFile, kFolder, kFolderLink };

FileKind FileKindOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return FileKind::kRegular;
    case DT_LNK:
      return FileKind::kLink;
    case DT_UNKNOWN:
      return FileKind::kUnknown;
    default:
      return FileKind::kOther;
  }
}

// The directory entry's own type saves a stat; only links and file systems
// that do not report types need one.
EntryKind Classify(int dir_fd, const dirent& entry) {
  struct stat info {};
  switch (entry.d_type) {
    case DT_DIR:
      return EntryKind::kFolder;
    case DT_LNK:
      if (::fstatat(dir_fd, entry.d_name, &info, 0) == 0 &&
          S_ISDIR(info.st_mode)) {
        return EntryKind::kFolderLink;
      }
      return EntryKind::kFile;
    case DT_UNKNOWN:
      if (::fstatat(dir_fd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return EntryKind::kFile;
      }
      if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
      if (S_ISLNK(info.st_mode) &&
          ::fstatat(dir_fd, entry.d_name, &info, 0) == 0 &&
          S_ISDIR(info.st_mode)) {
        return EntryKind::kFolderLink;
      }
      return EntryKind::kFile;
    default:
      return EntryKind::kFile;
  }
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' &&
         (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

FolderListing Failed(int error) {
  FolderListing listing;
  listing.error = ErrorText(error);
  return listing;
}

// Takes over `fd`, an open folder.
FolderListing ListFolderDescriptor(int fd) {
  if (fd < 0) return Failed(errno);
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    const int error = errno;
    ::close(fd);
    return Failed(error);
  }
  FolderListing listing;
  const int dir_fd = ::dirfd(dir.get());
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    if (IsDotEntry(entry->d_name)) continue;
    switch (Classify(dir_fd, *entry)) {
      case EntryKind::kFile:
        listing.files.Add(entry->d_name,
                          static_cast<std::uint8_t>(FileKindOf(entry->d_type)));
        break;
      case EntryKind::kFolder:
        listing.subfolders.Add(entry->d_name);
        break;
      case EntryKind::kFolderLink:
        break;
    }
  }
  // A listing cut short by an error would silently skip files.
  if (errno != 0) return Failed(errno);
  listing.files.Sort();
  listing.subfolders.Sort();
  return listing;
}

}  // namespace

bool ListEntryNames(const FolderHandle& folder, NameTable& names) {
  if (folder.planned()) return true;
  const int fd =
      ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return false;
  }
  while (true) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) return errno == 0;
    if (!IsDotEntry(entry->d_name)) names.Add(entry->d_name);
  }
}

FolderListing ListFolder(std::string_view folder) {
  if (folder.empty()) return Failed(ENOENT);
  return ListFolderDescriptor(
      ::open(std::string(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FolderListing ListFolder(const FolderHandle& folder) {
  if (folder.planned()) return {};
  // A description of its own, so that reading it moves no shared offset.
  return ListFolderDescriptor(
      ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace batchext
