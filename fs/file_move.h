#pragma once

#include <string>
#include <string_view>

#include "fs/file_copy.h"
#include "fs/file_state.h"
#include "fs/folder_handle.h"

namespace batchext {

// Gives the file `name` of `source_folder` the name `new_name` in
// `target_folder` in one step, so that it keeps its identity, content, mode,
// times and owner. With `replace` whatever entry stands there is replaced (a
// link itself, never what it points to); without it only a free name is
// taken, and `taken` tells that something stood there. Between two file
// systems nothing happens and the answer is one that AcrossFileSystems
// recognises.
CopyResult RenameFileAt(const FolderHandle& source_folder,
                        std::string_view name,
                        const FolderHandle& target_folder,
                        std::string_view new_name, bool replace, bool& taken);

// The answer of a rename that would have to cross file systems.
bool AcrossFileSystems(const CopyResult& result);

// Removes the file `name` of `folder` once a copy of it stands elsewhere.
CopyResult RemoveFileAt(const FolderHandle& folder, std::string_view name);

// RenameFileAt without replacing, by full paths, for an undo.
CopyResult RenamePath(const std::string& from, const std::string& to);
CopyResult RemovePath(const std::string& path);

// Whether the entry is still the one `before` saw: same kind, size and
// time, and the same file where the platform tells.
bool SameEntry(const PathState& before, const PathState& now);

// Moves the file at `from` back to the free name `to`, by rename on one file
// system, else by a complete copy followed by the removal of `from`. Fails
// with kDestinationProtected where something stands at `to`.
CopyResult MoveFileBack(const std::string& from, const std::string& to);

}  // namespace batchext
