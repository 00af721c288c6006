#include "fs/folder_path.h"

#include <filesystem>
#include <system_error>

#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

std::string WithoutTrailingSeparators(std::string folder) {
  while (folder.size() > RootLength(folder) && IsSeparator(folder.back())) {
    folder.pop_back();
  }
  return folder;
}

std::string_view LastName(std::string_view folder) {
  std::size_t start = RootLength(folder);
  for (std::size_t i = start; i < folder.size(); ++i) {
    if (IsSeparator(folder[i])) start = i + 1;
  }
  return folder.substr(start);
}

}  // namespace

FolderPath FolderPath::Typed(std::string_view typed) {
  return FolderPath(TypedFolderPath(typed));
}

FolderPath FolderPath::Twin() const {
  if (text_.empty()) return {};
  std::string folder = WithoutTrailingSeparators(text_);
  // "." and ".." do not say the folder's name; its twin should still bear it.
  const std::string_view name = LastName(folder);
  if (name == "." || name == "..") {
    std::string resolved = FromNativePath(ToNativePath(folder));
    // Windows paths come back absolute and resolved already; POSIX ones as
    // they were.
    if (RootLength(resolved) == 0) {
      std::error_code error;
      const auto absolute =
          std::filesystem::absolute(ToNativePath(folder), error);
      if (error) return FolderPath(folder + "(2)");
      resolved = FromNativePath(absolute.lexically_normal());
    }
    folder = WithoutTrailingSeparators(resolved);
  }
  return FolderPath(folder + "(2)");
}

}  // namespace batchext
