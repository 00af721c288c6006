#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "fs/error_text_posix.h"
#include "fs/file_move.h"
#include "fs/rename_posix.h"

namespace batchext {
namespace {

CopyResult Answer(bool done) {
  if (done) return CopyResult::Of(CopyStatus::kCopied);
  const int error = errno;
  return CopyResult{CopyStatus::kSystemError, ErrorText(error), error, {}};
}

}  // namespace

CopyResult RenameFileAt(const FolderHandle& source_folder,
                        std::string_view name,
                        const FolderHandle& target_folder,
                        std::string_view new_name, bool replace, bool& taken) {
  const std::string from(name);
  const std::string to(new_name);
  const int from_folder = source_folder.descriptor();
  const int to_folder = target_folder.descriptor();
  // A link at the new name is replaced, never followed.
  const bool renamed =
      replace
          ? ::renameat(from_folder, from.c_str(), to_folder, to.c_str()) == 0
          : RenameNoReplace(from_folder, from.c_str(), to_folder, to.c_str());
  taken = !renamed && !replace && errno == EEXIST;
  return Answer(renamed);
}

bool AcrossFileSystems(const CopyResult& result) {
  return result.status == CopyStatus::kSystemError &&
         result.error_number == EXDEV;
}

CopyResult RemoveFileAt(const FolderHandle& folder, std::string_view name) {
  return Answer(::unlinkat(folder.descriptor(), std::string(name).c_str(), 0) ==
                0);
}

CopyResult RenamePath(const std::string& from, const std::string& to) {
  return Answer(RenameNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str()));
}

CopyResult RemovePath(const std::string& path) {
  return Answer(::unlink(path.c_str()) == 0);
}

}  // namespace batchext
