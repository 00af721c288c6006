#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "fs/temporary_name.h"

namespace batchext {

TemporaryOwner ThisProcess() {
  static const std::uint32_t kHost = [] {
    char name[HOST_NAME_MAX + 1] = {};
    ::gethostname(name, sizeof name - 1);
    return ShortHash(name);
  }();
  return {static_cast<std::uint32_t>(::getuid()), kHost,
          static_cast<std::uint64_t>(::getpid())};
}

bool ProcessGone(std::uint64_t process) {
  if (process == 0 || process > static_cast<std::uint64_t>(INT_MAX)) {
    return false;
  }
  return ::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

bool RemoveLeftoverTemporary(const FolderHandle& folder,
                             std::string_view name) {
  if (!IsLeftoverTemporary(name)) return false;
  const std::string text(name);
  struct stat info {};
  return ::fstatat(folder.descriptor(), text.c_str(), &info,
                   AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode) &&
         ::unlinkat(folder.descriptor(), text.c_str(), 0) == 0;
}

}  // namespace batchext
