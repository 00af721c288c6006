#include "ui/form/run_details.h"

#include <string>
#include <utility>

#include "ui/form/run_texts.h"

namespace batchext {

std::string DetailsText(const Details& details, std::string_view newline) {
  std::string text;
  const auto add = [&](const std::string& line) {
    if (!text.empty()) text += newline;
    text += line;
  };
  if (!details.heading.empty()) add(details.heading);
  for (const DetailRow& row : details.rows) {
    add(DetailLine(row.path, row.reason));
  }
  if (details.unlisted > 0) add(UnlistedLine(details.unlisted));
  if (!details.note.empty()) {
    std::size_t start = 0;
    for (std::size_t end;
         (end = details.note.find('\n', start)) != std::string::npos;
         start = end + 1) {
      add(details.note.substr(start, end - start));
    }
    add(details.note.substr(start));
  }
  return text;
}

std::string DetailsFile(const Details& details, bool for_windows) {
  const std::string_view newline = for_windows ? "\r\n" : "\n";
  std::string file = for_windows ? "\xEF\xBB\xBF" : "";
  file += DetailsText(details, newline);
  file += newline;
  return file;
}

ConversionObserver RunDetails::Watch(ConversionObserver inner) {
  ConversionObserver observer = std::move(inner);
  observer.on_file = [this, on_file = std::move(observer.on_file)](
                         const FileOutcome& outcome) {
    ++files_handled_;
    if (!outcome.converted()) {
      Record(outcome.source(), FailureReason(outcome));
    }
    if (on_file) on_file(outcome);
  };
  observer.on_folder_failure =
      [this, on_failure = std::move(observer.on_folder_failure)](
          const FolderFailure& failure) {
        Record(failure.path, FolderFailureReason(failure));
        if (on_failure) on_failure(failure);
      };
  // The run only stops where it asked and was told yes.
  observer.stop_requested = [this, stop = std::move(observer.stop_requested)] {
    if (stop && stop()) cancelled_ = true;
    return cancelled_;
  };
  return observer;
}

void RunDetails::Record(std::string path, std::string reason) {
  if (failures_.size() < kMaxFailureLines) {
    failures_.push_back({.path = std::move(path), .reason = std::move(reason)});
  } else {
    ++unlisted_;
  }
}

Details RunDetails::Collected() const {
  return {.heading = cancelled_ ? CancelledHeading(files_handled_) : "",
          .rows = failures_,
          .unlisted = unlisted_,
          .note = ""};
}

}  // namespace batchext
