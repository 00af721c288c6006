#pragma once

#include <windows.h>

#include <string>

#include "ui/form/show_message.h"

namespace batchext::win32 {

// One modal MessageBoxW with a single OK button; an empty title gives the
// box the application's title.
void ShowMessageBox(HWND owner, const std::string& text,
                    const std::string& title, MessageStyle style);

}  // namespace batchext::win32
