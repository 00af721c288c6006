#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace batchext::testing {

// Runs batchext.exe and works it from outside, as a user would: finds its
// windows and controls, reads their texts, types and presses buttons.
// Every wait gives up after a while, so a test fails rather than hangs.
class WindowDriver {
 public:
  // Starts `program` with `arguments` after its name on the command line.
  explicit WindowDriver(const std::wstring& program,
                        const std::wstring& arguments = L"");
  WindowDriver(const WindowDriver&) = delete;
  WindowDriver& operator=(const WindowDriver&) = delete;
  ~WindowDriver();

  HWND main() const { return main_; }

  // A control of the main window by its name in the shared table.
  HWND Control(const char* name) const;

  std::string Text(HWND window) const;
  void SetText(const char* name, const std::string& text) const;
  // Posted, so that a handler that opens a dialog does not hold us up.
  void Click(HWND button) const { ::PostMessageW(button, BM_CLICK, 0, 0); }
  void Click(const char* name) const { Click(Control(name)); }

  // The control that has the keyboard focus in the window's thread.
  HWND Focus() const;
  // Presses `key` where the focus is, once the focus is somewhere.
  void PressKey(WPARAM key) const;

  // Drops `paths` at `at` in the main window's client area, as Explorer
  // would; the list is built in the program's own memory.
  void DropFiles(const std::vector<std::wstring>& paths, POINT at) const;

  // A visible top-level window of the program for which `accept` holds.
  HWND WaitForWindow(const std::function<bool(HWND)>& accept) const;

  struct MessageBoxSeen {
    std::string title, text;
    bool has_icon = false;
  };
  // Reads the next message box and closes it with OK.
  MessageBoxSeen TakeMessageBox() const;

  // The texts of one row of a list view in report mode, column by column.
  std::vector<std::string> ListRow(HWND list, int row, int columns) const;

  // In the shell's folder dialog, once it shows: chooses `folder` with OK,
  // and answers the instruction the dialog showed.
  std::string ChooseInFolderDialog(const std::wstring& folder) const;

  // A dialog of the program that has a child with `child_id`.
  HWND WaitForDialogWith(int child_id) const;

 private:
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

std::wstring ClassOf(HWND window);

// Polls `done` until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace batchext::testing
