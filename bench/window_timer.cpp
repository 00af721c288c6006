// Times one run of the window, as a user starts it: opens batchext.exe on
// SOURCE, asks for every file of the tree to become .dat, presses the start
// button and waits for the summary box. Prints the seconds from the press
// to the box, the box's text, and the seconds from starting the window to
// the press.
//
// Usage: batchext_window_timer WINDOW_EXE SOURCE
// Exit status 0 once the box showed, 1 when it did not, 2 on bad usage.

#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "tests/ui/win32/window_driver.h"
#include "ui/win32/summary_box.h"

namespace batchext::testing {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration span) {
  return std::chrono::duration<double>(span).count();
}

// Only the window's own thread is asked, and only every 20 ms: each look
// costs the Wine server calls that the run it times competes for.
HWND SummaryBoxOf(DWORD thread) {
  HWND found = nullptr;
  ::EnumThreadWindows(
      thread,
      [](HWND window, LPARAM found_pointer) {
        if (!::IsWindowVisible(window) || ClassOf(window) != L"#32770" ||
            !::GetDlgItem(window, win32::kSummaryTextId)) {
          return TRUE;
        }
        *reinterpret_cast<HWND*>(found_pointer) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

int TimeOneRun(const std::wstring& program, const std::wstring& source) {
  const Clock::time_point opening = Clock::now();
  WindowDriver window(program, L"\"" + source + L"\"");
  const DWORD thread = ::GetWindowThreadProcessId(window.main(), nullptr);
  // The panels and the first paint are the window's start-up, not the run.
  WaitUntil([&] { return window.Text(window.Control("LblFromFolder")) != ""; });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const Clock::time_point opened = Clock::now();

  window.SetText("TxtFromHouzui", "*");
  window.SetText("TxtHouZui", "dat");
  ::SendMessageW(window.Control("Chck"), BM_SETCHECK, BST_CHECKED, 0);
  const Clock::time_point pressed = Clock::now();
  window.Click("CmdOk");
  HWND box = nullptr;
  const bool shown = WaitUntil(
      [&] {
        box = SummaryBoxOf(thread);
        return box != nullptr;
      },
      std::chrono::minutes(10));
  const Clock::time_point done = Clock::now();
  if (!shown) {
    std::fprintf(stderr, "batchext_window_timer: no summary box\n");
    return 1;
  }
  const std::string text =
      window.Text(::GetDlgItem(box, win32::kSummaryTextId));
  window.Click(::GetDlgItem(box, IDOK));
  WaitUntil([box] { return !::IsWindow(box); });
  std::printf("run %.4f\nsummary %s\nstart-up %.4f\n", Seconds(done - pressed),
              text.c_str(), Seconds(opened - opening));
  return 0;
}

}  // namespace
}  // namespace batchext::testing

int main() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments || count != 3) {
    std::fprintf(stderr, "usage: batchext_window_timer WINDOW_EXE SOURCE\n");
    return 2;
  }
  try {
    return batchext::testing::TimeOneRun(arguments[1], arguments[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "batchext_window_timer: %s\n", error.what());
    return 1;
  }
}
