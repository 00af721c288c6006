#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/claimed_files.h"
#include "engine/conversion_settings.h"
#include "engine/file_count.h"
#include "engine/file_decision.h"
#include "engine/run_events.h"

namespace batchext {

// Turns what the run did into the report, the counters and the watcher's
// events, on the thread that started the run.
class RunReporter {
 public:
  // `count`, where given, is asked for the total between events.
  RunReporter(ConversionSettings& settings, const ConversionObserver& observer,
              ConversionReport& report, const FileCount* count = nullptr);

  void Folder(const ChainedPath::Ptr& source, const ChainedPath::Ptr& target);
  void FolderFailed(const FolderFailure& failure);
  // Tells and counts one file's outcome; false when a counter is at its
  // top, which ends the folder in hand. A copy cut short by a stop is
  // neither told nor counted.
  bool File(const FileDecision& decision, const CopyResult& result);
  // Asks the watcher once more, until it has said yes.
  bool AskStop();
  bool stopped() const { return report_.stopped; }
  // How many more files either counter can take.
  std::int64_t Headroom() const;
  // Also told every outcome, those cut short by a stop included.
  void WatchOutcomes(
      std::function<void(const FileDecision&, const CopyResult&)> watcher) {
    outcome_watcher_ = std::move(watcher);
  }
  // The files this run has written so far, once asked to keep them.
  ClaimedFiles& written() { return written_; }

 private:
  void TellTotal();

  ConversionSettings& settings_;
  const ConversionObserver& observer_;
  ConversionReport& report_;
  ClaimedFiles written_;
  const FileCount* count_;
  bool total_told_ = false;
  std::function<void(const FileDecision&, const CopyResult&)> outcome_watcher_;
};

}  // namespace batchext
