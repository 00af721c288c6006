#include "fs/rename_posix.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace batchext {

bool RenameNoReplace(int from_folder, const char* from, int to_folder,
                     const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(from_folder, from, to_folder, to, RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // A second name first: it fails where the name is taken.
  if (::linkat(from_folder, from, to_folder, to, 0) == 0) {
    ::unlinkat(from_folder, from, 0);
    return true;
  }
  if (errno == EEXIST || errno == EXDEV ||
      (errno != EPERM && errno != EOPNOTSUPP)) {
    return false;
  }
  // Neither way exists here: only a look before the rename is left.
  struct stat existing {};
  if (::fstatat(to_folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::renameat(from_folder, from, to_folder, to) == 0;
}

}  // namespace batchext
