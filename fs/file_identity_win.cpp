#include <windows.h>

#include <string>

#include "fs/file_identity.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

std::optional<FileIdentity> IdentityAt(const std::filesystem::path& path) {
  const UniqueHandle handle = OpenForQuery(path.c_str());
  if (!handle.valid()) return std::nullopt;
  const FileIdentity identity = IdentityOfHandle(handle.get());
  if (identity.IsZero()) return std::nullopt;
  return identity;
}

// The folder's own location with every link on the way resolved, so that
// walking up follows where the folder really lies.
std::string FinalPathOf(const std::filesystem::path& path) {
  const UniqueHandle handle = OpenForQuery(path.c_str());
  if (!handle.valid()) return {};
  const std::wstring final_path = FinalPathOfHandle(handle.get());
  return final_path.empty() ? std::string() : FromNativePath(final_path);
}

}  // namespace

std::optional<FileIdentity> GetFileIdentity(std::string_view path) {
  if (path.empty()) return std::nullopt;
  return IdentityAt(ToNativePath(path));
}

int FindEnclosingFolder(std::string_view folder,
                        const std::vector<FileIdentity>& candidates) {
  if (folder.empty()) return -1;
  const auto native = ToNativePath(folder);
  std::string path = FinalPathOf(native);
  if (path.empty()) path = FromNativePath(native);
  const std::size_t root = RootLength(path);
  while (true) {
    const auto current = GetFileIdentity(path);
    if (!current) return -1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (candidates[i] == *current) return static_cast<int>(i);
    }
    while (path.size() > root && IsSeparator(path.back())) path.pop_back();
    if (path.size() <= root) return -1;
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut < root) {
      path.resize(root);
    } else {
      path.resize(cut + 1);
    }
  }
}

}  // namespace batchext
