#include "fs/file_identity_posix.h"

#include <string>

namespace batchext {

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<FileIdentity> GetFileIdentity(std::string_view path) {
  struct stat info {};
  if (::stat(std::string(path).c_str(), &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

EntryType EntryTypeOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kRegular;
  if (S_ISLNK(mode)) return EntryType::kLink;
  if (S_ISDIR(mode)) return EntryType::kFolder;
  return EntryType::kOther;
}

}  // namespace batchext
