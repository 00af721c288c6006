#pragma once

#include <string>

namespace batchext::win32 {

// The shell's classic folder dialog, with no owner window so that the main
// window stays usable while it is open. Answers the chosen folder's path,
// or "" on Cancel, on an item outside the file system, or after a failure
// that has already been shown.
std::string SelectFolder();

}  // namespace batchext::win32
