#include <windows.h>

#include <string>

#include "fs/folder_listing.h"
#include "fs/native_path.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (valid()) ::FindClose(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' &&
         (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

FolderListing ListFolder(std::string_view folder) {
  FolderListing listing;
  if (folder.empty()) {
    listing.error = SystemErrorText(ERROR_PATH_NOT_FOUND);
    return listing;
  }
  std::wstring pattern = ToNativePath(folder).native();
  if (pattern.back() != L'\\') pattern.push_back(L'\\');
  pattern.push_back(L'*');
  WIN32_FIND_DATAW entry{};
  // The entry already tells its type, so no entry needs a look of its own.
  const FindHandle find(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic,
                                           &entry, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find.valid()) {
    // A drive's root without entries matches nothing.
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) listing.error = SystemErrorText(error);
    return listing;
  }
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    const bool folder_entry =
        (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder_entry) {
      const FileKind kind =
          (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
              ? FileKind::kLink
              : FileKind::kRegular;
      listing.files.Add(WideToUtf8(entry.cFileName),
                        static_cast<std::uint8_t>(kind));
    } else if (!IsLinkEntry(entry)) {
      // A link to a folder can point at an ancestor.
      listing.subfolders.Add(WideToUtf8(entry.cFileName));
    }
  } while (::FindNextFileW(find.get(), &entry));
  // A listing cut short by an error would silently skip files.
  if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) {
    FolderListing failed;
    failed.error = SystemErrorText(error);
    return failed;
  }
  listing.files.Sort();
  listing.subfolders.Sort();
  return listing;
}

}  // namespace batchext
