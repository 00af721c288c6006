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
                         ConversionReport& report)
    : settings_(settings), observer_(observer), report_(report) {}

void RunReporter::Folder(const std::string& source, const std::string& target) {
  if (observer_.on_folder) observer_.on_folder(source, target);
}

void RunReporter::FolderFailed(const FolderFailure& failure) {
  report_.folder_failures.push_back(failure);
  if (observer_.on_folder_failure) observer_.on_folder_failure(failure);
}

bool RunReporter::File(const FileDecision& decision, const CopyResult& result) {
  if (outcome_watcher_) outcome_watcher_(decision, result);
  if (result.status == CopyStatus::kStopped) return false;
  if (result.status == CopyStatus::kCopied) written_.Insert(result.destination);
  FileOutcome outcome;
  outcome.source = decision.folders->source_path + decision.name;
  outcome.destination = decision.folders->target_path + decision.new_name;
  outcome.status = result.status;
  outcome.system_error = result.system_error;
  if (observer_.on_file) observer_.on_file(outcome);
  return Increment(outcome.converted() ? settings_.SuccessCount
                                       : settings_.FailCount);
}

bool RunReporter::AskStop() {
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
