#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/name_table.h"

namespace batchext {

// What a listed file is, as far as the listing tells without a look of its
// own; kept as the tag of its name.
enum class FileKind : std::uint8_t { kRegular, kLink, kOther, kUnknown };

// Names are sorted by code point.
struct FolderListing {
  // Everything that is not a folder: regular files, links to files, dangling
  // links and special files.
  NameTable files;
  // Real subfolders only: a link to a folder can point at an ancestor, so it
  // appears in neither list.
  NameTable subfolders;
  // Why the folder could not be read fully, in the platform's words; empty
  // when it was. The lists are then empty.
  std::string error;
};

// One pass over the folder. A folder that is missing or cannot be read gives
// an empty listing that says why.
FolderListing ListFolder(std::string_view folder);

}  // namespace batchext
