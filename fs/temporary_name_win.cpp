#include <windows.h>

#include <string>

#include "fs/native_path.h"
#include "fs/temporary_name.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

std::uint32_t HashOf(BOOL (*ask)(wchar_t*, DWORD*)) {
  wchar_t name[256] = {};
  DWORD size = 255;
  if (!ask(name, &size)) return 0;
  return ShortHash(WideToUtf8(std::wstring(name, size)));
}

BOOL WINAPI AskUser(wchar_t* name, DWORD* size) {
  return ::GetUserNameW(name, size);
}

BOOL WINAPI AskComputer(wchar_t* name, DWORD* size) {
  return ::GetComputerNameW(name, size);
}

}  // namespace

TemporaryOwner ThisProcess() {
  static const std::uint32_t kUser = HashOf(AskUser);
  static const std::uint32_t kHost = HashOf(AskComputer);
  return {kUser, kHost, ::GetCurrentProcessId()};
}

bool ProcessGone(std::uint64_t process) {
  if (process == 0 || process > MAXDWORD) return false;
  HANDLE handle =
      ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process));
  if (handle == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  ::CloseHandle(handle);
  return ended;
}

bool RemoveLeftoverTemporary(const FolderHandle& folder,
                             std::string_view name) {
  if (!IsLeftoverTemporary(name)) return false;
  const std::wstring path =
      ToNativePath(folder.path() + std::string(name)).native();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return false;
  }
  // A temporary may carry the attributes of a read-only source.
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileW(path.c_str()) != 0;
}

}  // namespace batchext
