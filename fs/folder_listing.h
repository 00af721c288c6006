#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace batchext {

// Plain names, without any folder part, sorted by code point.
using NameList = std::vector<std::string>;

struct FolderListing {
  // Everything that is not a folder: regular files, links to files, dangling
  // links and special files.
  NameList files;
  // Real subfolders only: a link to a folder can point at an ancestor, so it
  // appears in neither list.
  NameList subfolders;
  // Why the folder could not be read fully, in the platform's words; empty
  // when it was. The lists are then empty.
  std::string error;
};

// One pass over the folder. A folder that is missing or cannot be read gives
// an empty listing that says why.
FolderListing ListFolder(std::string_view folder);

NameList ListFileNames(std::string_view folder);
NameList ListSubFolderNames(std::string_view folder);

}  // namespace batchext
