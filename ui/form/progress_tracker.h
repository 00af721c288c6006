#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "engine/conversion_run.h"

namespace batchext {

struct ProgressTiming {
  // A run shorter than this shows no dialog at all.
  std::chrono::milliseconds show_after{500};
  // The shortest time between two redraws while the dialog is up.
  std::chrono::milliseconds refresh_every{50};
};

// The dialog's texts.
inline constexpr char kProgressCancelCaption[] = "取消";
inline constexpr char kProgressFolderLabel[] = "当前文件夹：";

inline std::string ProgressCountLine(long long files_handled) {
  return "正在修改文件的后缀名，已处理" + std::to_string(files_handled) +
         "个文件";
}

// The toolkit-free half of every window's progress dialog: counts what the
// run has handled, remembers the folder in hand, decides when the dialog
// is due, and carries the user's Cancel back into the run.
class ProgressTracker {
 public:
  struct Display {
    std::function<bool()> shown;    // whether the dialog is up
    std::function<void()> show;     // brings it up
    std::function<void()> refresh;  // redraws it and lets the user act
  };

  ProgressTracker(ProgressTiming timing, Display display);

  // Valid as long as this object.
  ConversionObserver Observer();

  // The run ends after the file in hand.
  void Cancel() { cancelled_ = true; }

  long long files_handled() const { return files_handled_; }
  std::string folder() const { return folder_ ? folder_->Text() : ""; }

 private:
  void Step();

  ProgressTiming timing_;
  Display display_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_refresh_{};
  long long files_handled_ = 0;
  ChainedPath::Ptr folder_;
  bool cancelled_ = false;
};

}  // namespace batchext
