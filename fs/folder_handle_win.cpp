#include <windows.h>
#include <winternl.h>

#include <string>
#include <utility>
#include <vector>

#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/win_folder_facts.h"
#include "fs/win_handles.h"
#include "fs/win_support.h"

// A handle holds the folder open and keeps its full path. What is written
// (temporaries, renames, subfolders) goes through the open folder, so that
// a link swapped in on the way cannot send it elsewhere; what is only
// looked at goes by path.
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

// Enough to list it, walk through it and ask about it; others may still
// rename or remove it, as they may on POSIX.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OpenedFolder Opened(UniqueHandle handle, std::string path, bool made) {
  OpenedFolder opened;
  opened.folder =
      FolderHandle(DescriptorOfHandle(handle.Release()), WithSeparator(path));
  opened.made = made;
  return opened;
}

// Judges the entry that was opened, not what stood at its name before.
OpenedFolder Checked(UniqueHandle handle, std::string path, bool made) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag,
                                      sizeof(tag))) {
    return SystemError(::GetLastError());
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      IsReparseTagNameSurrogate(tag.ReparseTag)) {
    return Refused(FolderError::kLink);
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Refused(FolderError::kNotFolder);
  }
  return Opened(std::move(handle), std::move(path), made);
}

// Opens or makes the subfolder in the open parent, never following a link
// that stands at its name.
OpenedFolder OpenInParent(const FolderHandle& parent, std::string_view name,
                          ULONG disposition) {
  const HANDLE root = HandleOfDescriptor(parent.descriptor());
  if (root == INVALID_HANDLE_VALUE) return SystemError(ERROR_INVALID_HANDLE);
  UniqueHandle handle(INVALID_HANDLE_VALUE);
  bool created = false;
  const DWORD error = OpenRelative(
      root, Utf8ToWide(name), kFolderAccess, kShareAll, disposition,
      FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT |
          FILE_OPEN_FOR_BACKUP_INTENT,
      0, handle, &created);
  if (error == ERROR_DIRECTORY) return Refused(FolderError::kNotFolder);
  if (error != ERROR_SUCCESS) return SystemError(error);
  OpenedFolder opened =
      Checked(std::move(handle), parent.path() + std::string(name), created);
  opened.folder.set_facts(FolderFacts::Within(parent.facts()));
  return opened;
}

// Opens a folder by its path, links followed, without asking its volume.
OpenedFolder OpenByPath(std::string_view path) {
  if (path.empty()) return SystemError(ERROR_PATH_NOT_FOUND);
  const std::string folder = WithSeparator(std::string(path));
  UniqueHandle handle(::CreateFileW(ToNativePath(folder).c_str(), kFolderAccess,
                                    kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return SystemError(::GetLastError());
  // A person's choice may be a link; it was followed on opening.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) {
    return SystemError(::GetLastError());
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Refused(FolderError::kNotFolder);
  }
  return Opened(std::move(handle), folder, false);
}

}  // namespace

void FolderHandle::Close() {
  const HANDLE handle = HandleOfDescriptor(std::exchange(descriptor_, -1));
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
}

OpenedFolder OpenFolder(std::string_view path) {
  OpenedFolder opened = OpenByPath(path);
  opened.folder.set_facts(FolderFacts::New());
  return opened;
}

OpenedFolder OpenSubfolder(const FolderHandle& parent, std::string_view name) {
  return OpenInParent(parent, name, FILE_OPEN);
}

OpenedFolder OpenParentFolder(const FolderHandle& folder,
                              const FileIdentity& expected) {
  std::string path = folder.path();
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
  while (!path.empty() && !IsSeparator(path.back())) path.pop_back();
  OpenedFolder opened = OpenByPath(path);
  if (opened.folder.valid() && IdentityOf(opened.folder) != expected) {
    return SystemError(ERROR_PATH_NOT_FOUND);
  }
  opened.folder.set_facts(FolderFacts::Within(folder.facts()));
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
          WithSeparator(parent.path() + std::string(name)),
          MaxNameLength(parent));
      opened.made = true;
      return opened;
    }
    return OpenSubfolder(parent, name);
  }
  return OpenInParent(parent, name, FILE_OPEN_IF);
}

FolderListing ListFolder(const FolderHandle& folder) {
  if (folder.planned()) return {};
  return ListFolder(std::string_view(folder.path()));
}

// Asked of the folder held, with what its facts already know.
std::optional<FileIdentity> IdentityOf(const FolderHandle& folder) {
  const HANDLE handle = HandleOfDescriptor(folder.descriptor());
  if (folder.facts() == nullptr || handle == INVALID_HANDLE_VALUE) {
    return GetFileIdentity(folder.path());
  }
  const FileIdentity identity = IdentityIn(*folder.facts(), handle, handle, {});
  if (identity.IsZero()) return std::nullopt;
  return identity;
}

bool LiesInside(const FolderHandle& folder, const FileIdentity& ancestor) {
  return FindEnclosingFolder(folder.path(), {ancestor}) == 0;
}

// Windows has no such limit on handles worth a budget.
std::size_t RaiseOpenFileLimit() { return 16384; }

bool SizesTellContent(const FolderHandle&) { return true; }

bool NewFilesTakeAskedMode(const FolderHandle&) { return false; }

bool ClosingWritesNothing(const FolderHandle&) { return false; }

// A folder can be made case-sensitive, but asking costs a handle each time
// and a wrong yes costs only caution.
bool FoldsCase(const FolderHandle&) { return true; }

Entry EntryAt(const FolderHandle& folder, std::string_view name) {
  Entry entry;
  if (folder.planned()) return entry;
  const std::wstring path =
      ToNativePath(folder.path() + std::string(name)).native();
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      entry.system_error = SystemErrorText(error);
    }
    return entry;
  }
  ::FindClose(find);
  const bool folder_entry =
      (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder_entry) {
    // A link to a folder cannot give way to a file in one step either.
    entry.type = EntryType::kFolder;
  } else if (IsLinkEntry(found)) {
    entry.type = EntryType::kLink;
  } else {
    entry.type = EntryType::kRegular;
    entry.read_only = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const UniqueHandle handle = OpenForQuery(path.c_str());
    if (handle.valid()) entry.identity = IdentityOfHandle(handle.get());
  }
  return entry;
}

SourceEntry SourceAt(const FolderHandle& folder, std::string_view name) {
  SourceEntry source;
  const std::wstring path =
      ToNativePath(folder.path() + std::string(name)).native();
  const UniqueHandle handle = OpenForQuery(path.c_str());
  if (!handle.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      source.state = SourceState::kMissing;
    } else {
      source.system_error = SystemErrorText(error);
    }
    return source;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool regular =
      ::GetFileInformationByHandle(handle.get(), &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      ::GetFileType(handle.get()) == FILE_TYPE_DISK;
  source.state = regular ? SourceState::kRegular : SourceState::kOther;
  source.identity = IdentityOfHandle(handle.get());
  return source;
}

// Every file system Windows writes to takes names of 255 UTF-16 units.
constexpr std::size_t kNameMax = 255;

std::size_t MaxNameLength(const FolderHandle& folder) {
  return folder.planned() ? folder.planned_max_name_length() : kNameMax;
}

std::size_t MaxNameLengthNear(std::string_view) { return kNameMax; }

bool NameFits(std::string_view name, std::size_t max_length) {
  return Utf8ToWide(name).size() <= max_length;
}

std::string NoSuchFolderText() { return SystemErrorText(ERROR_PATH_NOT_FOUND); }

std::string NameTooLongText() {
  return SystemErrorText(ERROR_FILENAME_EXCED_RANGE);
}

// Access is not checked beforehand here: the run finds out.
bool FolderTakesEntries(const FolderHandle&, std::string&) { return true; }

bool CanReadFile(const FolderHandle& folder, std::string_view name,
                 std::string& why_not) {
  const UniqueHandle handle(::CreateFileW(
      ToNativePath(folder.path() + std::string(name)).c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, 0, nullptr));
  if (handle.valid()) return true;
  why_not = SystemErrorText(::GetLastError());
  return false;
}

bool ListEntryNames(const FolderHandle& folder, NameTable& names) {
  if (folder.planned()) return true;
  std::wstring pattern = ToNativePath(folder.path()).native();
  if (pattern.empty() || pattern.back() != L'\\') pattern.push_back(L'\\');
  pattern.push_back(L'*');
  WIN32_FIND_DATAW entry{};
  const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic,
                                         &entry, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    const std::wstring_view name(entry.cFileName);
    if (name != L"." && name != L"..") names.Add(WideToUtf8(name));
  } while (::FindNextFileW(find, &entry));
  const DWORD error = ::GetLastError();
  ::FindClose(find);
  return error == ERROR_NO_MORE_FILES;
}

}  // namespace batchext
