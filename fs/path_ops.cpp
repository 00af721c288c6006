#include "fs/path_ops.h"

#include "fs/native_path.h"

namespace batchext {
std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string AddTrailingSlash(std::string_view path) {
  std::string result(TrimSpaces(path));
  if (result.empty() || !IsSeparator(result.back())) {
    result.push_back(PreferredSeparator());
  }
  return result;
}

bool CreateFolderPath(std::string_view path, bool preview) {
  if (path.empty()) return false;
  std::string full(path);
  if (!IsSeparator(full.back())) full.push_back(PreferredSeparator());
  const std::size_t root = RootLength(full);
  for (std::size_t i = root; i < full.size(); ++i) {
    if (!IsSeparator(full[i])) continue;
    // Doubled separators name no new level.
    if (i > 0 && IsSeparator(full[i - 1])) continue;
    if (i == 0) return false;
    const auto level = ToNativePath(std::string_view(full).substr(0, i));
    if (IsFolderAt(level)) continue;
    // Below the first missing level nothing exists yet.
    if (preview) return CouldMakeFolderAt(level);
    if (!MakeFolderAt(level)) return false;
  }
  return true;
}

bool FolderExists(std::string_view path) {
  return !path.empty() && IsFolderAt(ToNativePath(path));
}

}  // namespace batchext
