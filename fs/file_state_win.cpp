#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

#include "fs/file_state.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {

PathState StateAt(std::string_view path, bool follow_links) {
  PathState state;
  const std::filesystem::path native = ToNativePath(path);
  std::error_code error;
  const std::filesystem::file_status status =
      follow_links ? std::filesystem::status(native, error)
                   : std::filesystem::symlink_status(native, error);
  switch (status.type()) {
    case std::filesystem::file_type::not_found:
      return state;
    case std::filesystem::file_type::none:
      state.system_error = error.message();
      return state;
    case std::filesystem::file_type::regular:
      state.type = EntryType::kRegular;
      break;
    case std::filesystem::file_type::symlink:
      state.type = EntryType::kLink;
      return state;
    case std::filesystem::file_type::directory:
      state.type = EntryType::kFolder;
      return state;
    default:
      state.type = EntryType::kOther;
      return state;
  }
  const auto modified = std::filesystem::last_write_time(native, error);
  state.stamp = FileStamp{
      static_cast<std::uint64_t>(std::filesystem::file_size(native, error)),
      std::chrono::duration_cast<std::chrono::nanoseconds>(
          modified.time_since_epoch())
          .count()};
  return state;
}

PathState StateOf(const FolderHandle& folder) {
  if (folder.planned() || folder.path().empty()) return {};
  std::string path = folder.path();
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  return StateAt(path, true);
}

PathState StateIn(const FolderHandle& folder, std::string_view name) {
  if (folder.planned()) return {};
  return StateAt(folder.path() + std::string(name));
}

bool SetModifiedTime(std::string_view path, std::int64_t modified_ns) {
  std::error_code error;
  std::filesystem::last_write_time(
      ToNativePath(path),
      std::filesystem::file_time_type(
          std::chrono::duration_cast<std::filesystem::file_time_type::duration>(
              std::chrono::nanoseconds(modified_ns))),
      error);
  return !error;
}

}  // namespace batchext
