#pragma once

#include <fcntl.h>

namespace batchext {

// A folder is opened only as a place to work in, so one that may be written
// but not listed still opens.
#ifdef O_PATH
inline constexpr int kFolderOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
inline constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

class FolderHandle;

// Whether the folder carries `flag` (FS_*_FL); false where its file system
// keeps no such flags, or it cannot be read.
bool FolderHasFlag(const FolderHandle& folder, int flag);

}  // namespace batchext
