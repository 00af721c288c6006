#include "ui/form/progress_tracker.h"

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
