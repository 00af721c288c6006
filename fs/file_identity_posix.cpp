#include <sys/stat.h>

#include <string>

#include "fs/file_identity.h"

namespace batchext {
namespace {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> GetFileIdentity(std::string_view path) {
  return IdentityOf(std::string(path));
}

int FindEnclosingFolder(std::string_view folder,
                        const std::vector<FileIdentity>& candidates) {
  // ".." from a folder reached through a link leads to the link target's
  // parent, which is where the folder really lies.
  std::string path(folder);
  if (path.empty()) return -1;
  if (path.back() != '/') path.push_back('/');
  std::optional<FileIdentity> previous;
  while (true) {
    const auto current = IdentityOf(path);
    if (!current || current == previous) return -1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (candidates[i] == *current) return static_cast<int>(i);
    }
    previous = current;
    path += "../";
  }
}

}  // namespace batchext
