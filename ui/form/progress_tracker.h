#pragma once

#include <chrono>
#include <functional>
#include <optional>
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
// What a screen reader names the dialog and its bar by.
inline constexpr char kProgressHeardAs[] = "正在修改文件的后缀名";
inline constexpr char kProgressBarHeardAs[] = "进度";

// What the dialog says of the count: with the whole and the time left once
// they are known.
std::string ProgressCountLine(
    long long files_handled, std::optional<long long> total = std::nullopt,
    std::optional<std::chrono::seconds> time_left = std::nullopt);

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
  // How many files the run meets in all, once counted; never fewer than
  // those handled.
  std::optional<long long> total() const;
  // Going by the pace so far, once the total is known and the pace is.
  std::optional<std::chrono::seconds> TimeLeft() const;
  std::string CountLine() const {
    return ProgressCountLine(files_handled_, total(), TimeLeft());
  }
  std::string folder() const { return folder_ ? folder_->Text() : ""; }

 private:
  void Step();

  ProgressTiming timing_;
  Display display_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_refresh_{};
  long long files_handled_ = 0;
  std::optional<long long> total_;
  ChainedPath::Ptr folder_;
  bool cancelled_ = false;
};

}  // namespace batchext
