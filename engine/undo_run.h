#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace batchext {

enum class UndoRefusal {
  kNone,
  // No run of this user is left to take back.
  kNothingToUndo,
  // The journal cannot be read; `error` tells why.
  kUnreadable,
};

// Why something a run did stays as it is.
enum class KeptReason {
  // The file is no longer as the run left it.
  kChanged,
  // The folder the run made holds something the run did not put there.
  kFolderNotEmpty,
  // The replaced file is no longer in the trash.
  kNotInTrash,
  // The replaced file could not be kept when it was replaced.
  kNotKept,
  // Something stands where a moved file came from.
  kSourceTaken,
  // The system refused; `system_error` tells why.
  kSystem,
};

struct KeptEntry {
  std::string path;
  KeptReason reason = KeptReason::kChanged;
  std::string system_error;
};

// What an undo did. Front ends word it.
struct UndoReport {
  UndoRefusal refusal = UndoRefusal::kNone;
  std::string error;
  // The run taken back: when it started, its folders.
  std::string started;
  std::string source;
  std::string target;
  std::int32_t removed = 0;
  std::int32_t restored = 0;
  std::int32_t folders_removed = 0;
  std::int32_t moved_back = 0;
  std::vector<KeptEntry> kept;

  bool refused() const { return refusal != UndoRefusal::kNone; }
};

// Takes back the newest run journaled in `journal_folder` that was not
// taken back yet: removes the copies and folders it made and puts back the
// files it replaced, but never removes or overwrites what changed since.
// The run then counts as taken back, whatever had to stay.
UndoReport UndoLastRun(const std::string& journal_folder);

// Takes back the run of the journal at `path`, as UndoLastRun does.
UndoReport UndoRun(const std::string& path);

// Takes back the run that the journal `text` records.
UndoReport UndoJournal(const std::string& text);

}  // namespace batchext
