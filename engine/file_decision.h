#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/chained_path.h"
#include "fs/file_copy.h"
#include "fs/folder_handle.h"

namespace batchext {

class ReplacedFiles;

// What the file systems of a folder pair tell the copies between them,
// asked once a folder.
struct CopyTraits {
  bool sizes_tell_content = true;
  bool plain_modes = false;
  // Closing a copy written there writes nothing back, so reports nothing.
  bool quiet_close = false;
};

// A source folder and its target, open for as long as a decision about
// them waits to be carried out.
struct FolderPair {
  FolderHandle source;
  FolderHandle target;
  // As the observer is told them.
  ChainedPath::Ptr source_path;
  ChainedPath::Ptr target_path;
  CopyTraits traits;
};

// What the walk decided for one matching file.
enum class FileAction {
  kCreate,
  kReplace,
  // The new name is the file's own: nothing to write.
  kUnchanged,
  kFail,
};

struct FileDecision {
  std::shared_ptr<const FolderPair> folders;
  std::string name;
  std::string new_name;
  FileAction action = FileAction::kFail;
  // For kFail: why, with the platform's words for kSystemError.
  CopyStatus failure = CopyStatus::kSystemError;
  std::string system_error;
  // Whether an entry that turns up at the new name after all may give way.
  bool may_replace = true;
  // The file itself takes the new name, rather than a copy of it.
  bool move = false;
  // Where what this copy replaces is kept, if anywhere.
  ReplacedFiles* keeper = nullptr;
  // The decision's place among the run's recorded changes.
  std::uint64_t sequence = 0;
  // One of at most two matching files in its folder: handing it to another
  // thread costs more than it saves.
  bool few_in_folder = false;
};

}  // namespace batchext
