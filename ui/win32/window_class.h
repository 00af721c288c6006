#pragma once

#include <windows.h>

namespace batchext::win32 {

// Registers a window class of the program's own with the arrow cursor and
// the dialog background; registering it again fails harmlessly.
void RegisterPlainClass(const wchar_t* name, WNDPROC procedure);

}  // namespace batchext::win32
