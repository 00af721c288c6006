#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  std::string source;
  std::string destination;
  CopyStatus status = CopyStatus::kCopied;
  // The platform's words for kSystemError, otherwise empty.
  std::string system_error;

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
};

// Optional watcher of a run, told everything in the walk's order on the
// calling thread, whatever the jobs. Every member may be left empty.
struct ConversionObserver {
  std::function<void(const std::string& source_folder,
                     const std::string& target_folder)>
      on_folder;
  std::function<void(const FileOutcome&)> on_file;
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
