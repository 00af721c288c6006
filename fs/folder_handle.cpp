#include "fs/folder_handle.h"

#include <utility>

#include "fs/path_ops.h"

namespace batchext {

FolderHandle::FolderHandle(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)) {}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      path_(std::move(other.path_)),
      planned_(std::exchange(other.planned_, false)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
    path_ = std::move(other.path_);
    planned_ = std::exchange(other.planned_, false);
  }
  return *this;
}

FolderHandle::~FolderHandle() { Close(); }

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
