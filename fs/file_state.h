#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/file_identity.h"
#include "fs/folder_handle.h"

namespace batchext {

// What stands at a path, as far as taking a run back needs to know.
struct PathState {
  EntryType type = EntryType::kNone;
  // Zero where the platform cannot tell it cheaply.
  FileIdentity identity;
  FileStamp stamp;
  // The platform's words where the question itself failed (type kNone).
  std::string system_error;
};

// A link is judged as itself unless `follow_links`.
PathState StateAt(std::string_view path, bool follow_links = false);

// The same for an open folder; nothing for a planned one.
PathState StateOf(const FolderHandle& folder);

// The entry `name` of an open folder, a link as itself.
PathState StateIn(const FolderHandle& folder, std::string_view name);

// Sets the modification time of what stands at `path`, a link itself, to
// `modified_ns` as StateAt tells times; false on failure.
bool SetModifiedTime(std::string_view path, std::int64_t modified_ns);

}  // namespace batchext
