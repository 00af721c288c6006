#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/win_support.h"

// Windows keeps its long paths: a handle is the folder's full path, and the
// calls below compose it with a name and use the path-based operations.
namespace batchext {
namespace {

std::string WithSeparator(std::string path) {
  if (path.empty() || !IsSeparator(path.back())) {
    path.push_back(PreferredSeparator());
  }
  return path;
}

OpenedFolder SystemError(DWORD error) {
  OpenedFolder opened;
  opened.error = FolderError::kSystem;
  opened.system_error = SystemErrorText(error);
  return opened;
}

OpenedFolder Refused(FolderError error) {
  OpenedFolder opened;
  opened.error = error;
  return opened;
}

// Reads the entry as the listing does, so that both agree on what a link is.
bool IsLinkAt(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  const HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  return IsLinkEntry(entry);
}

}  // namespace

// A handle here is the folder's path and holds nothing open.
void FolderHandle::Close() {}

OpenedFolder OpenFolder(std::string_view path) {
  if (path.empty()) return SystemError(ERROR_PATH_NOT_FOUND);
  const std::string folder = WithSeparator(std::string(path));
  const auto native = ToNativePath(folder);
  if (::GetFileAttributesW(native.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return SystemError(::GetLastError());
  }
  if (!IsFolderAt(native)) return Refused(FolderError::kNotFolder);
  OpenedFolder opened;
  opened.folder = FolderHandle(-1, folder);
  return opened;
}

OpenedFolder OpenSubfolder(const FolderHandle& parent, std::string_view name) {
  const std::string folder = parent.path() + std::string(name);
  const std::wstring native = ToNativePath(folder).native();
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return SystemError(::GetLastError());
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Refused(FolderError::kNotFolder);
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsLinkAt(native)) {
    return Refused(FolderError::kLink);
  }
  OpenedFolder opened;
  opened.folder = FolderHandle(-1, WithSeparator(folder));
  return opened;
}

OpenedFolder MakeSubfolder(const FolderHandle& parent, std::string_view name,
                           bool preview) {
  // A listed "aux" or "dir." made literally could not be opened by others.
  if (!IsAllowedFileName(Utf8ToWide(name))) {
    return Refused(FolderError::kNameNotAllowed);
  }
  const auto native = ToNativePath(parent.path() + std::string(name));
  if (preview) {
    if (parent.planned() || CouldMakeFolderAt(native)) {
      OpenedFolder opened;
      opened.folder = FolderHandle::Planned(
          WithSeparator(parent.path() + std::string(name)));
      return opened;
    }
    return OpenSubfolder(parent, name);
  }
  if (!::CreateDirectoryW(native.c_str(), nullptr)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return SystemError(error);
  }
  return OpenSubfolder(parent, name);
}

FolderListing ListFolder(const FolderHandle& folder) {
  return ListFolder(std::string_view(folder.path()));
}

std::optional<FileIdentity> IdentityOf(const FolderHandle& folder) {
  return GetFileIdentity(folder.path());
}

bool LiesInside(const FolderHandle& folder, const FileIdentity& ancestor) {
  return FindEnclosingFolder(folder.path(), {ancestor}) == 0;
}

CopyResult CopyFileAt(const FolderHandle& source_folder, std::string_view name,
                      const FolderHandle& target_folder,
                      std::string_view new_name, const CopyOptions& options) {
  return CopyFileTo(source_folder.path() + std::string(name),
                    target_folder.path() + std::string(new_name), options);
}

// Windows has no such limit on handles.
void RaiseOpenFileLimit() {}

// A folder can be made case-sensitive, but asking costs a handle each time
// and a wrong yes costs only caution.
bool FoldsCase(const FolderHandle&) { return true; }

bool HasOtherNames(const FolderHandle&, std::string_view) { return true; }

}  // namespace batchext
