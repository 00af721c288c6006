#include "tests/ui/win32/window_driver.h"

#include <shlobj.h>
// Needs windows.h first.
#include <commctrl.h>

#include <stdexcept>
#include <thread>

#include "fs/win_support.h"
#include "ui/form/form_layout.h"
#include "ui/win32/control_ids.h"

namespace batchext::testing {

// Children of the classic folder dialog and of a message box.
constexpr int kFolderTreeId = 0x3741;
constexpr int kFolderTitleId = 0x3742;
constexpr int kMessageTextId = 0xFFFF;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

WindowDriver::WindowDriver(const std::wstring& program,
                           const std::wstring& arguments) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + program + L"\" " + arguments;
  if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process_)) {
    throw std::runtime_error("cannot start the window program, error " +
                             std::to_string(::GetLastError()));
  }
  main_ = WaitForWindow(
      [](HWND window) { return ClassOf(window) == win32::kFrmMainClass; });
  if (!main_) throw std::runtime_error("the main window did not appear");
}

WindowDriver::~WindowDriver() {
  if (main_) ::PostMessageW(main_, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.hProcess, 1);
  }
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

HWND WindowDriver::Control(const char* name) const {
  const ControlSpec* spec = FindControl(name);
  if (!spec) throw std::logic_error(std::string("no control ") + name);
  const auto index = static_cast<std::size_t>(spec - FormControls().data());
  return ::GetDlgItem(main_, win32::ControlId(index));
}

// WM_GETTEXT, not GetWindowTextW, which answers "" for another program's
// edit boxes.
std::string WindowDriver::Text(HWND window) const {
  const auto length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::SendMessageW(
      window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return WideToUtf8(text);
}

void WindowDriver::SetText(const char* name, const std::string& text) const {
  ::SendMessageW(Control(name), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

HWND WindowDriver::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  ::GetGUIThreadInfo(process_.dwThreadId, &info);
  return info.hwndFocus;
}

void WindowDriver::PressKey(WPARAM key) const {
  WaitUntil([this] { return Focus() != nullptr; });
  ::PostMessageW(Focus(), WM_KEYDOWN, key, 0);
}

void WindowDriver::DropFiles(const std::vector<std::wstring>& paths,
                             POINT at) const {
  std::wstring names;
  for (const std::wstring& path : paths) names += path + L'\0';
  names += L'\0';
  DROPFILES header{};
  header.pFiles = sizeof(header);
  header.pt = at;
  header.fWide = TRUE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof(header));
  block.append(reinterpret_cast<const char*>(names.data()),
               names.size() * sizeof(wchar_t));
  // A block at a fixed address serves the program's GlobalLock as its own
  // handle; it stays until the program ends with the test.
  void* remote = ::VirtualAllocEx(process_.hProcess, nullptr, block.size(),
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ::WriteProcessMemory(process_.hProcess, remote, block.data(), block.size(),
                       nullptr);
  ::PostMessageW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

HWND WindowDriver::WaitForWindow(
    const std::function<bool(HWND)>& accept) const {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, nullptr, nullptr);
         window && !found;
         window = ::FindWindowExW(nullptr, window, nullptr, nullptr)) {
      DWORD process = 0;
      ::GetWindowThreadProcessId(window, &process);
      if (process == process_.dwProcessId && ::IsWindowVisible(window) &&
          accept(window)) {
        found = window;
      }
    }
    return found != nullptr;
  });
  return found;
}

HWND WindowDriver::WaitForDialogWith(int child_id) const {
  return WaitForWindow([child_id](HWND window) {
    return ClassOf(window) == L"#32770" && ::GetDlgItem(window, child_id);
  });
}

WindowDriver::MessageBoxSeen WindowDriver::TakeMessageBox() const {
  const HWND box = WaitForDialogWith(kMessageTextId);
  if (!box) return {"", "(no message box)"};
  MessageBoxSeen seen{Text(box), Text(::GetDlgItem(box, kMessageTextId))};
  HWND child = nullptr;
  while ((child = ::FindWindowExW(box, child, L"Static", nullptr))) {
    seen.has_icon |= ::IsWindowVisible(child) &&
                     ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
  }
  Click(::GetDlgItem(box, IDOK));
  WaitUntil([box] { return !::IsWindow(box); });
  return seen;
}

// The item and its text buffer have to live in the list's own process.
std::vector<std::string> WindowDriver::ListRow(HWND list, int row,
                                               int columns) const {
  constexpr int kChars = 1024;
  const HANDLE process = process_.hProcess;
  auto* remote = static_cast<char*>(
      ::VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * 2,
                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  std::vector<std::string> texts;
  for (int column = 0; column < columns; ++column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    item.cchTextMax = kChars;
    ::WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
    const auto length = ::SendMessageW(list, LVM_GETITEMTEXTW, row,
                                       reinterpret_cast<LPARAM>(remote));
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(),
                        text.size() * 2, nullptr);
    texts.push_back(WideToUtf8(text));
  }
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return texts;
}

std::string WindowDriver::ChooseInFolderDialog(
    const std::wstring& folder) const {
  const HWND dialog = WaitForDialogWith(kFolderTreeId);
  if (!dialog) return "(no folder dialog)";
  // The path has to live in the dialog's own process.
  const HANDLE process = process_.hProcess;
  const std::size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
  void* remote = ::VirtualAllocEx(process, nullptr, bytes,
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ::WriteProcessMemory(process, remote, folder.c_str(), bytes, nullptr);
  ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                 reinterpret_cast<LPARAM>(remote));
  ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  const std::string instruction = Text(::GetDlgItem(dialog, kFolderTitleId));
  Click(::GetDlgItem(dialog, IDOK));
  WaitUntil([dialog] { return !::IsWindow(dialog); });
  return instruction;
}

}  // namespace batchext::testing
