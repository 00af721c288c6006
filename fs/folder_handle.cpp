#include "fs/folder_handle.h"

#include <utility>

#include "fs/path_ops.h"

namespace batchext {

FolderHandle FolderHandle::Planned(std::string path) {
  FolderHandle folder(-1, std::move(path));
  folder.planned_ = true;
  return folder;
}

OpenedFolder MakeFolder(std::string_view path, bool preview) {
  if (CreateFolderPath(path, preview) && preview && !FolderExists(path)) {
    OpenedFolder opened;
    opened.folder = FolderHandle::Planned(AddTrailingSlash(path));
    return opened;
  }
  return OpenFolder(path);
}

}  // namespace batchext
