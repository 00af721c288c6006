#include "ui/form/progress_tracker.h"

#include <algorithm>
#include <utility>

namespace batchext {

ProgressTracker::ProgressTracker(ProgressTiming timing, Display display)
    : timing_(timing),
      display_(std::move(display)),
      started_(std::chrono::steady_clock::now()) {}

ConversionObserver ProgressTracker::Observer() {
  ConversionObserver observer;
  observer.on_folder = [this](const ChainedPath::Ptr& source,
                              const ChainedPath::Ptr&) {
    folder_ = source;
    Step();
  };
  observer.on_total = [this](std::int64_t files) {
    total_ = files;
    Step();
  };
  observer.on_file = [this](const FileOutcome&) {
    ++files_handled_;
    Step();
  };
  // Also asked between the chunks of a large file, which keeps the dialog
  // alive and Cancel answered while one big copy runs.
  observer.stop_requested = [this] {
    Step();
    return cancelled_;
  };
  return observer;
}

std::string ProgressCountLine(long long files_handled,
                              std::optional<long long> total,
                              std::optional<std::chrono::seconds> time_left) {
  std::string line =
      "正在修改文件的后缀名，已处理" + std::to_string(files_handled);
  if (total) {
    const long long share = *total > 0 ? files_handled * 100 / *total : 100;
    line += "/" + std::to_string(*total) + "个文件（" + std::to_string(share) +
            "%）";
  } else {
    line += "个文件";
  }
  if (time_left) {
    const long long seconds = time_left->count();
    line += "，预计还需";
    if (seconds >= 3600) line += std::to_string(seconds / 3600) + "小时";
    if (seconds >= 60) line += std::to_string(seconds / 60 % 60) + "分";
    if (seconds < 3600) line += std::to_string(seconds % 60) + "秒";
  }
  return line;
}

std::optional<long long> ProgressTracker::total() const {
  if (!total_) return std::nullopt;
  return std::max(*total_, files_handled_);
}

std::optional<std::chrono::seconds> ProgressTracker::TimeLeft() const {
  const auto elapsed = std::chrono::steady_clock::now() - started_;
  // Too early a pace says little.
  if (!total_ || files_handled_ == 0 || elapsed < std::chrono::seconds(1)) {
    return std::nullopt;
  }
  const long long left = *total() - files_handled_;
  return std::chrono::duration_cast<std::chrono::seconds>(elapsed * left /
                                                          files_handled_);
}

// A dialog taken down for a message box comes back at the next step.
void ProgressTracker::Step() {
  if (cancelled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!display_.shown()) {
    if (now - started_ < timing_.show_after) return;
    display_.show();
  } else if (now - last_refresh_ < timing_.refresh_every) {
    return;
  }
  last_refresh_ = now;
  display_.refresh();
}

}  // namespace batchext
