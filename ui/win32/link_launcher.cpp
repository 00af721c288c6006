#include "ui/win32/link_launcher.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "fs/win_support.h"

namespace batchext::win32 {

// What explorer.exe does with an address on its command line, minus the
// extra process.
void OpenAddress(const std::string& address) {
  ::ShellExecuteW(nullptr, L"open", Utf8ToWide(address).c_str(), nullptr,
                  nullptr, SW_SHOWMINIMIZED);
}

}  // namespace batchext::win32
