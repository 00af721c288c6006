#include "ui/form/run_details.h"

#include <string>
#include <utility>

#include "ui/form/run_texts.h"

namespace batchext {

ConversionObserver RunDetails::Watch(ConversionObserver inner) {
  ConversionObserver observer = std::move(inner);
  observer.on_file = [this, on_file = std::move(observer.on_file)](
                         const FileOutcome& outcome) {
    ++files_handled_;
    if (!outcome.converted()) {
      Record(outcome.source() + "：" + FailureReason(outcome));
    }
    if (on_file) on_file(outcome);
  };
  observer.on_folder_failure =
      [this, on_failure = std::move(observer.on_folder_failure)](
          const FolderFailure& failure) {
        Record(failure.path + "：" + FolderFailureReason(failure));
        if (on_failure) on_failure(failure);
      };
  // The run only stops where it asked and was told yes.
  observer.stop_requested = [this, stop = std::move(observer.stop_requested)] {
    if (stop && stop()) cancelled_ = true;
    return cancelled_;
  };
  return observer;
}

void RunDetails::Record(std::string line) {
  if (failures_.size() < kMaxFailureLines) {
    failures_.push_back(std::move(line));
  } else {
    ++unlisted_;
  }
}

std::string RunDetails::Text() const {
  std::string text;
  if (cancelled_) {
    text = "操作已取消，取消前已处理" + std::to_string(files_handled_) +
           "个文件\n";
  }
  for (const std::string& line : failures_) text += line + "\n";
  if (unlisted_ > 0) text += "以及另外" + std::to_string(unlisted_) + "个\n";
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace batchext
