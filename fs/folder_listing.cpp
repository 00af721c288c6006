#include "fs/folder_listing.h"

namespace batchext {

NameList ListFileNames(std::string_view folder) {
  return ListFolder(folder).files.ToList();
}

NameList ListSubFolderNames(std::string_view folder) {
  return ListFolder(folder).subfolders.ToList();
}

}  // namespace batchext
