#include "fs/folder_listing.h"

namespace batchext {

NameList ListFileNames(std::string_view folder) {
  return ListFolder(folder).files;
}

NameList ListSubFolderNames(std::string_view folder) {
  return ListFolder(folder).subfolders;
}

}  // namespace batchext
