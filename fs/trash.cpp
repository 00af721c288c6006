#include "fs/trash.h"

#include <filesystem>
#include <system_error>

#include "fs/native_path.h"

namespace batchext {
namespace {

// Each entry of TRASH/files has its record in TRASH/info.
std::filesystem::path RecordOf(const std::filesystem::path& kept) {
  std::filesystem::path record = kept.parent_path().parent_path() / "info";
  record /= kept.filename();
  record += ".trashinfo";
  return record;
}

}  // namespace

bool RestoreFromTrash(const std::string& kept, const std::string& path,
                      std::string& error) {
  const std::filesystem::path native = ToNativePath(kept);
  std::error_code failure;
  std::filesystem::rename(native, ToNativePath(path), failure);
  if (failure) {
    error = failure.message();
    return false;
  }
  std::filesystem::remove(RecordOf(native), failure);
  return true;
}

void ForgetInTrash(const std::string& kept) {
  const std::filesystem::path native = ToNativePath(kept);
  std::error_code ignored;
  std::filesystem::remove(native, ignored);
  std::filesystem::remove(RecordOf(native), ignored);
}

}  // namespace batchext
