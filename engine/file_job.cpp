#include "engine/file_job.h"

#include <string>
#include <utility>

#include "engine/replaced_files.h"
#include "fs/file_move.h"
#include "fs/file_state.h"

namespace batchext {

void StageJob(FileJob& job, const std::function<bool()>& stop_requested,
              FinishedFiles* finished_files) {
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
  options.sizes_tell_content = decision.folders->traits.sizes_tell_content;
  options.identify = job.identify;
  options.plain_modes = decision.folders->traits.plain_modes;
  options.quiet_close = decision.folders->traits.quiet_close;
  options.finished_files = finished_files;
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

void PublishJob(FileJob& job, FinishedFiles* finished_files) {
  if (!job.staged.staged()) return;
  const FileDecision& decision = job.decision;
  const bool replace = decision.action == FileAction::kReplace;
  std::string kept = replace ? KeepReplaced(decision) : std::string();
  bool taken = false;
  CopyResult published = PublishCopy(job.staged, decision.new_name, replace,
                                     taken, finished_files);
  if (taken) {
    const CopyStatus judged =
        JudgeReplacement(EntryAt(decision.folders->target, decision.new_name),
                         decision.may_replace);
    if (judged == CopyStatus::kCopied) {
      kept = KeepReplaced(decision);
      published = PublishCopy(job.staged, decision.new_name, true, taken,
                              finished_files);
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

namespace {

// One attempt to give the file its new name: a rename, or once that would
// cross file systems, a copy published under the name while the source is
// still as it was, and the source removed after it.
// `named` tells that the new name holds the copy even where removing the
// source failed after all: then both stay.
CopyResult MoveOnce(FileJob& job, const PathState& source, bool replace,
                    const std::function<bool()>& stop_requested, bool& taken,
                    bool& named) {
  const FileDecision& decision = job.decision;
  const FolderPair& folders = *decision.folders;
  taken = false;
  named = false;
  if (!job.staged.staged()) {
    CopyResult renamed =
        RenameFileAt(folders.source, decision.name, folders.target,
                     decision.new_name, replace, taken);
    if (renamed.Succeeded()) {
      renamed.destination = source.identity;
      renamed.stamp = source.stamp;
    }
    if (!AcrossFileSystems(renamed)) return renamed;
    // Removing the source has to be possible before the copy stands.
    std::string why_not;
    if (!FolderTakesEntries(folders.source, why_not)) {
      return CopyResult{CopyStatus::kSystemError, why_not, 0, {}};
    }
    CopyOptions options;
    options.allow_replace = decision.may_replace;
    options.stop_requested = stop_requested;
    options.sizes_tell_content = folders.traits.sizes_tell_content;
    job.result = StageCopy(folders.source, decision.name, folders.target,
                           replace, options, job.staged);
    if (!job.result.Succeeded()) return job.result;
  }
  if (!SameEntry(source, StateIn(folders.source, decision.name))) {
    job.staged.Discard();
    return CopyResult::Of(CopyStatus::kSourceChanged);
  }
  CopyResult published =
      PublishCopy(job.staged, decision.new_name, replace, taken);
  if (!published.Succeeded()) return published;
  if (published.destination.IsZero()) {
    published.destination = job.result.destination;
  }
  published.stamp = job.result.stamp;
  named = true;
  const CopyResult removed = RemoveFileAt(folders.source, decision.name);
  return removed.Succeeded() ? published : removed;
}

}  // namespace

void MoveJob(FileJob& job, const std::function<bool()>& stop_requested) {
  const FileDecision& decision = job.decision;
  if (decision.action == FileAction::kFail ||
      decision.action == FileAction::kUnchanged) {
    StageJob(job, stop_requested);
    return;
  }
  // A link swapped in since the decision is not moved either.
  const PathState source = StateIn(decision.folders->source, decision.name);
  if (!source.system_error.empty()) {
    job.result =
        CopyResult{CopyStatus::kSystemError, source.system_error, 0, {}};
    return;
  }
  if (source.type != EntryType::kRegular) {
    job.result = CopyResult::Of(source.type == EntryType::kNone
                                    ? CopyStatus::kSourceMissing
                                    : CopyStatus::kSourceNotRegularFile);
    return;
  }
  bool replace = decision.action == FileAction::kReplace;
  std::string kept = replace ? KeepReplaced(decision) : std::string();
  bool taken = false;
  bool named = false;
  CopyResult moved =
      MoveOnce(job, source, replace, stop_requested, taken, named);
  if (taken) {
    // Something turned up at the name since the decision.
    const CopyStatus judged =
        JudgeReplacement(EntryAt(decision.folders->target, decision.new_name),
                         decision.may_replace);
    if (judged == CopyStatus::kCopied) {
      replace = true;
      kept = KeepReplaced(decision);
      moved = MoveOnce(job, source, replace, stop_requested, taken, named);
    } else {
      moved = CopyResult::Of(judged);
    }
  }
  job.staged.Discard();
  if (moved.Succeeded()) {
    moved.kept_as = std::move(kept);
  } else if (!kept.empty() && !named) {
    // The replaced file still stands under its name.
    decision.keeper->Forget(kept);
  }
  job.result = std::move(moved);
}

}  // namespace batchext
