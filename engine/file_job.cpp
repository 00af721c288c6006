#include "engine/file_job.h"

#include <string>
#include <utility>

#include "engine/replaced_files.h"

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

namespace {

// The entry a copy is about to replace goes to the trash first.
std::string KeepReplaced(const FileDecision& decision) {
  return decision.keeper != nullptr ? decision.keeper->Keep(decision)
                                    : std::string();
}

}  // namespace

void PublishJob(FileJob& job) {
  if (!job.staged.staged()) return;
  const FileDecision& decision = job.decision;
  const bool replace = decision.action == FileAction::kReplace;
  std::string kept = replace ? KeepReplaced(decision) : std::string();
  bool taken = false;
  CopyResult published =
      PublishCopy(job.staged, decision.new_name, replace, taken);
  if (taken) {
    const CopyStatus judged =
        JudgeReplacement(EntryAt(decision.folders->target, decision.new_name),
                         decision.may_replace);
    if (judged == CopyStatus::kCopied) {
      kept = KeepReplaced(decision);
      published = PublishCopy(job.staged, decision.new_name, true, taken);
    } else {
      published = CopyResult::Of(judged);
    }
  }
  if (published.Succeeded()) {
    job.result.kept_as = std::move(kept);
    // The identity under the new name, where publishing tells one.
    if (!published.destination.IsZero()) {
      job.result.destination = published.destination;
    }
  } else {
    if (!kept.empty()) decision.keeper->Forget(kept);
    job.result = published;
  }
  job.staged.Discard();
}

}  // namespace batchext
