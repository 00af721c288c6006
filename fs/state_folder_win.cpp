#include <windows.h>

#include <string>

#include "fs/state_folder.h"
#include "fs/win_support.h"

namespace batchext {

std::string StateFolder() {
  wchar_t buffer[32768];
  const DWORD length =
      GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, ARRAYSIZE(buffer));
  if (length == 0 || length >= ARRAYSIZE(buffer)) return {};
  return WideToUtf8(std::wstring_view(buffer, length)) + "\\batchext";
}

}  // namespace batchext
