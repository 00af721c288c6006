#pragma once

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

namespace batchext::win32 {

// The path of the one folder that `drop` carries, as the folder dialog
// answers it; "" for files or several items.
std::string DroppedFolder(HDROP drop);

}  // namespace batchext::win32
