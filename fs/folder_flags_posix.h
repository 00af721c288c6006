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

}  // namespace batchext
