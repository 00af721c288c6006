#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "fs/error_text_posix.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {

bool IsSeparator(char c) { return c == '/'; }

char PreferredSeparator() { return '/'; }

bool IsValidFileNamePart(std::string_view text) {
  // "\" is legal here but a separator on Windows; refusing it keeps a
  // request meaning the same on every platform.
  return text.find_first_of(std::string_view("/\\\0", 3)) ==
         std::string_view::npos;
}

bool IsAllowedName(std::string_view) { return true; }

std::string TypedFolderPath(std::string_view typed) {
  return std::string(TrimSpaces(typed));
}

std::filesystem::path ToNativePath(std::string_view utf8_path) {
  return std::filesystem::path(std::string(utf8_path));
}

std::string FromNativePath(const std::filesystem::path& path) {
  return path.native();
}

std::size_t RootLength(std::string_view path) {
  return !path.empty() && path.front() == '/' ? 1 : 0;
}

bool IsFolderAt(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool CouldMakeFolderAt(const std::filesystem::path& path) {
  std::error_code error;
  // A link that leads nowhere is something too.
  if (std::filesystem::symlink_status(path, error).type() !=
      std::filesystem::file_type::not_found) {
    errno = EEXIST;
    return false;
  }
  const std::filesystem::path parent =
      path.has_parent_path() ? path.parent_path() : ".";
  return ::faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string ComparablePath(std::string_view path) { return std::string(path); }

bool MakeFolderAt(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::create_directory(path, error)) return true;
  // Another process may have made it meanwhile.
  if (IsFolderAt(path)) return true;
  errno = error.value();
  return false;
}

std::string LastErrorText() { return ErrorText(errno); }

}  // namespace batchext
