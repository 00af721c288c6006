#include "engine/run_reporter.h"

#include <algorithm>
#include <limits>

namespace batchext {
namespace {

// Counters are signed 32-bit; passing the top is a failure of the folder.
bool Increment(std::int32_t& counter) {
  if (counter == std::numeric_limits<std::int32_t>::max()) return false;
  ++counter;
  return true;
}

}  // namespace

RunReporter::RunReporter(ConversionSettings& settings,
                         const ConversionObserver& observer,
                         ConversionReport& report, const FileCount* count)
    : settings_(settings),
      observer_(observer),
      report_(report),
      count_(count) {}

void RunReporter::TellTotal() {
  if (total_told_ || !count_ || !observer_.on_total) return;
  if (const std::optional<std::int64_t> total = count_->Total()) {
    total_told_ = true;
    observer_.on_total(*total);
  }
}

void RunReporter::Folder(const ChainedPath::Ptr& source,
                         const ChainedPath::Ptr& target) {
  TellTotal();
  if (observer_.on_folder) observer_.on_folder(source, target);
}

void RunReporter::FolderFailed(const FolderFailure& failure) {
  report_.folder_failures.push_back(failure);
  if (observer_.on_folder_failure) observer_.on_folder_failure(failure);
}

bool RunReporter::File(const FileDecision& decision, const CopyResult& result) {
  if (outcome_watcher_) outcome_watcher_(decision, result);
  if (result.status == CopyStatus::kStopped) return false;
  TellTotal();
  if (result.status == CopyStatus::kCopied) written_.Insert(result.destination);
  const FileOutcome outcome{decision.folders->source_path,
                            decision.name,
                            decision.folders->target_path,
                            decision.new_name,
                            result.status,
                            result.system_error};
  if (observer_.on_file) observer_.on_file(outcome);
  return Increment(outcome.converted() ? settings_.SuccessCount
                                       : settings_.FailCount);
}

bool RunReporter::AskStop() {
  TellTotal();
  if (!report_.stopped && observer_.stop_requested &&
      observer_.stop_requested()) {
    report_.stopped = true;
  }
  return report_.stopped;
}

std::int64_t RunReporter::Headroom() const {
  constexpr std::int64_t kTop = std::numeric_limits<std::int32_t>::max();
  return kTop - std::max(settings_.SuccessCount, settings_.FailCount);
}

}  // namespace batchext
