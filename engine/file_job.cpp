#include "engine/file_job.h"

namespace batchext {

void StageJob(FileJob& job, const std::function<bool()>& stop_requested) {
  const FileDecision& decision = job.decision;
  switch (decision.action) {
    case FileAction::kFail:
      job.result = CopyResult{decision.failure, decision.system_error, 0, {}};
      return;
    case FileAction::kUnchanged:
      job.result = CopyResult::Of(CopyStatus::kSameFile);
      return;
    case FileAction::kCreate:
    case FileAction::kReplace:
      break;
  }
  CopyOptions options;
  options.allow_replace = decision.may_replace;
  options.stop_requested = stop_requested;
  options.sizes_tell_content = decision.folders->sizes_tell_content;
  job.result = StageCopy(
      decision.folders->source, decision.name, decision.folders->target,
      decision.action == FileAction::kReplace, options, job.staged);
}

void PublishJob(FileJob& job) {
  if (!job.staged.staged()) return;
  const FileDecision& decision = job.decision;
  bool taken = false;
  CopyResult published =
      PublishCopy(job.staged, decision.new_name,
                  decision.action == FileAction::kReplace, taken);
  if (taken) {
    const CopyStatus judged =
        JudgeReplacement(EntryAt(decision.folders->target, decision.new_name),
                         decision.may_replace);
    published = judged == CopyStatus::kCopied
                    ? PublishCopy(job.staged, decision.new_name, true, taken)
                    : CopyResult::Of(judged);
  }
  // The identity under the new name, where publishing tells one.
  if (!published.Succeeded() || !published.destination.IsZero()) {
    job.result = published;
  }
  job.staged.Discard();
}

}  // namespace batchext
