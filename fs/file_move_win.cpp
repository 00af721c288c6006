#include <windows.h>

#include <string>

#include "fs/file_move.h"
#include "fs/native_path.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

CopyResult Answer(bool done) {
  if (done) return CopyResult::Of(CopyStatus::kCopied);
  const DWORD error = ::GetLastError();
  return CopyResult{CopyStatus::kSystemError,
                    SystemErrorText(error),
                    static_cast<int>(error),
                    {}};
}

std::wstring Native(const std::string& path) {
  return ToNativePath(path).native();
}

bool Move(const std::wstring& from, const std::wstring& to, bool replace) {
  // Without MOVEFILE_COPY_ALLOWED a move between volumes fails, and the
  // caller copies with the copy's promises instead.
  return ::MoveFileExW(from.c_str(), to.c_str(),
                       replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}

bool Remove(const std::wstring& path) {
  // A copy keeps the read-only attribute, which deleting refuses.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(path.c_str(),
                         attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  return ::DeleteFileW(path.c_str()) != 0;
}

}  // namespace

CopyResult RenameFileAt(const FolderHandle& source_folder,
                        std::string_view name,
                        const FolderHandle& target_folder,
                        std::string_view new_name, bool replace, bool& taken) {
  const bool moved =
      Move(Native(source_folder.path() + std::string(name)),
           Native(target_folder.path() + std::string(new_name)), replace);
  CopyResult result = Answer(moved);
  taken = !moved && !replace &&
          (result.error_number == ERROR_ALREADY_EXISTS ||
           result.error_number == ERROR_FILE_EXISTS);
  return result;
}

bool AcrossFileSystems(const CopyResult& result) {
  return result.status == CopyStatus::kSystemError &&
         result.error_number == ERROR_NOT_SAME_DEVICE;
}

CopyResult RemoveFileAt(const FolderHandle& folder, std::string_view name) {
  return Answer(Remove(Native(folder.path() + std::string(name))));
}

CopyResult RenamePath(const std::string& from, const std::string& to) {
  return Answer(Move(Native(from), Native(to), false));
}

CopyResult RemovePath(const std::string& path) {
  return Answer(Remove(Native(path)));
}

}  // namespace batchext
