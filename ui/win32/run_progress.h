#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/conversion_run.h"

namespace batchext::win32 {

// The progress dialog of a long run: shown after about half a second, with
// the count so far, the folder in hand and Cancel. While it is up every
// other window of the program is disabled, as an application-modal dialog
// would keep them; before that no event is taken at all.
class RunProgress {
 public:
  RunProgress(HWND owner, std::chrono::milliseconds show_after);
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;
  ~RunProgress();

  // Valid as long as this object.
  ConversionObserver Observer();

  // Takes the dialog out of the way of a message box; the next step of the
  // run brings it back.
  void Pause();

 private:
  static BOOL CALLBACK DisableOther(HWND window, LPARAM self);
  static LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  void Step();
  void Show();
  void CreateDialogWindow();
  void Describe();
  void PumpMessages();

  HWND owner_;
  std::chrono::milliseconds show_after_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_refresh_{};
  HWND dialog_ = nullptr;
  HWND count_line_ = nullptr;
  HWND folder_line_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<HWND> disabled_;
  long long files_handled_ = 0;
  std::string folder_;
  bool cancelled_ = false;
};

}  // namespace batchext::win32
