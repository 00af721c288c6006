#include <sys/stat.h>

#include <string>

#include "fs/file_identity.h"

namespace batchext {

std::optional<FileIdentity> GetFileIdentity(std::string_view path) {
  struct stat info {};
  if (::stat(std::string(path).c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace batchext
