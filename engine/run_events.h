#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/chained_path.h"
#include "fs/file_copy.h"
#include "fs/folder_handle.h"

namespace batchext {

// Why a request was turned down before anything was written.
enum class Refusal {
  kNone,
  // A folder is missing: the extension texts were not read.
  kNoFolders,
  kNoToExt,
  kSameExt,
  // The new extension holds a character that cannot stand in a name.
  kBadToExt,
};

// What came of one matching file. In a preview, kWouldCreate and
// kWouldReplace stand for the copies a run would make.
struct FileOutcome {
  ChainedPath::Ptr source_folder;
  std::string name;
  ChainedPath::Ptr target_folder;
  std::string new_name;
  CopyStatus status = CopyStatus::kCopied;
  // The platform's words for kSystemError, otherwise empty.
  std::string system_error;

  // Built when asked, since the paths of a deep tree are long.
  std::string source() const { return source_folder->Join(name); }
  std::string destination() const { return target_folder->Join(new_name); }
  bool converted() const { return CopySucceeded(status); }
};

// A folder the walk could not use; the walk goes on without it.
struct FolderFailure {
  std::string path;
  FolderError error = FolderError::kSystem;
  // The platform's words for FolderError::kSystem.
  std::string system_error;
  // A folder of the target tree; otherwise a source folder that could not
  // be read.
  bool in_target = false;
  // The folder the person chose, not one below it.
  bool chosen = false;
};

// Optional watcher of a run, told everything in the walk's order on the
// calling thread, whatever the jobs. Every member may be left empty.
struct ConversionObserver {
  // The paths are built on asking: a deep tree's are long.
  std::function<void(const ChainedPath::Ptr& source_folder,
                     const ChainedPath::Ptr& target_folder)>
      on_folder;
  std::function<void(const FileOutcome&)> on_file;
  // Told once, while the run goes on, how many files it will meet in all;
  // set, it makes the run count them beside its work. Never told in a
  // preview, or where the tree could not be counted.
  std::function<void(std::int64_t files)> on_total;
  std::function<void(const FolderFailure&)> on_folder_failure;
  // Asked before each file and between chunks of a large one; true ends the
  // run, and a copy cut short is discarded and counted neither way.
  std::function<bool()> stop_requested;
};

// What a run did. Front ends word it.
struct ConversionReport {
  Refusal refusal = Refusal::kNone;
  // Nothing was written: the counts are what the run would have made.
  bool preview = false;
  std::int32_t succeeded = 0;
  std::int32_t failed = 0;
  // A stop request ended the run early.
  bool stopped = false;
  std::vector<FolderFailure> folder_failures;
  // What ended the run unexpectedly, in the platform's words, or empty.
  std::string error;
  // The journal that lets an undo take this run back; empty where the run
  // changed nothing or kept no journal.
  std::string journal;
  // Why the run could not be recorded fully for an undo, or empty.
  std::string journal_error;
  // The first replaced file that could not be kept in the trash and why;
  // it was replaced all the same. Empty when none.
  std::string unkept_path;
  std::string unkept_why;

  bool refused() const { return refusal != Refusal::kNone; }
};

}  // namespace batchext
