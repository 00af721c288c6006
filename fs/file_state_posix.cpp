#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "fs/error_text_posix.h"
#include "fs/file_identity_posix.h"
#include "fs/file_state.h"

namespace batchext {

namespace {

PathState Stated(int answer, const struct stat& info) {
  PathState state;
  if (answer != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      state.system_error = ErrorText(errno);
    }
    return state;
  }
  state.type = EntryTypeOf(info.st_mode);
  state.identity = IdentityOf(info);
  state.stamp = FileStamp{
      static_cast<std::uint64_t>(info.st_size),
      info.st_mtim.tv_sec * std::int64_t{1000000000} + info.st_mtim.tv_nsec};
  return state;
}

}  // namespace

PathState StateAt(std::string_view path, bool follow_links) {
  struct stat info {};
  const std::string text(path);
  return Stated(
      follow_links ? ::stat(text.c_str(), &info) : ::lstat(text.c_str(), &info),
      info);
}

PathState StateOf(const FolderHandle& folder) {
  if (folder.planned() || folder.descriptor() < 0) return {};
  struct stat info {};
  return Stated(::fstat(folder.descriptor(), &info), info);
}

PathState StateIn(const FolderHandle& folder, std::string_view name) {
  if (folder.planned()) return {};
  struct stat info {};
  return Stated(::fstatat(folder.descriptor(), std::string(name).c_str(), &info,
                          AT_SYMLINK_NOFOLLOW),
                info);
}

bool SetModifiedTime(std::string_view path, std::int64_t modified_ns) {
  constexpr std::int64_t kSecond = 1000000000;
  const struct timespec times[2] = {{0, UTIME_OMIT},
                                    {static_cast<time_t>(modified_ns / kSecond),
                                     static_cast<long>(modified_ns % kSecond)}};
  return ::utimensat(AT_FDCWD, std::string(path).c_str(), times,
                     AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace batchext
