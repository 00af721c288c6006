#pragma once

#include <functional>

#include "engine/file_decision.h"
#include "fs/file_copy.h"

namespace batchext {

// One decision on its way to an outcome. However many jobs a run has, every
// file goes through these two steps.
struct FileJob {
  FileDecision decision;
  // Declared after the decision, whose folders it needs while it lives.
  StagedCopy staged;
  CopyResult result;
  // Whether the run needs to know the copy by its identity.
  bool identify = true;
};

// Writes the copy beside its destination, or settles the outcome where
// there is nothing to write. The source goes to `finished_files` to be
// closed, or where there is none, is closed at once.
void StageJob(FileJob& job, const std::function<bool()>& stop_requested,
              FinishedFiles* finished_files = nullptr);

// Gives the file itself its new name, or where the target lies on another
// file system, a complete copy of it and then removes it. A file that is no
// longer as it was stays where it is.
void MoveJob(FileJob& job, const std::function<bool()>& stop_requested);

// Gives a staged copy its name. An entry that turned up at the name since
// the decision is judged as the walk would have judged it. A named copy
// whose closing can report nothing goes to `finished_files` where given.
void PublishJob(FileJob& job, FinishedFiles* finished_files = nullptr);

}  // namespace batchext
