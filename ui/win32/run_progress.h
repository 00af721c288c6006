#pragma once

#include <windows.h>

#include <vector>

#include "engine/conversion_run.h"
#include "ui/form/progress_tracker.h"

namespace batchext::win32 {

// The progress dialog of a long run: shown after about half a second, with
// the count so far, the folder in hand and Cancel. While it is up every
// other window of the program is disabled, as an application-modal dialog
// would keep them; before that no event is taken at all.
class RunProgress {
 public:
  RunProgress(HWND owner, ProgressTiming timing);
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;
  ~RunProgress();

  // Valid as long as this object.
  ConversionObserver Observer() { return tracker_.Observer(); }

  // Takes the dialog out of the way of a message box; the next step of the
  // run brings it back.
  void Pause();

 private:
  static BOOL CALLBACK DisableOther(HWND window, LPARAM self);
  static LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  void Show();
  void CreateDialogWindow();
  void Refresh();
  void PumpMessages();

  HWND owner_;
  HWND dialog_ = nullptr;
  HWND count_line_ = nullptr;
  HWND folder_line_ = nullptr;
  HWND bar_ = nullptr;
  HFONT font_ = nullptr;
  std::vector<HWND> disabled_;
  ProgressTracker tracker_;
};

}  // namespace batchext::win32
