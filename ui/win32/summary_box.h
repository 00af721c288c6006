#pragma once

#include <windows.h>

#include <string>

#include "ui/form/run_details.h"
#include "ui/form/show_message.h"

namespace batchext::win32 {

// Children of the summary box, found by these ids from outside; the text
// and OK carry those of a message box.
inline constexpr int kSummaryTextId = 0xFFFF;
inline constexpr int kSummaryUndoId = 200;
inline constexpr int kSummaryDetailsId = 201;

// A message box with the style's icon, the text and OK, and beside OK
// "显示详情..." when there are `details` and "撤销" with `offer_undo`.
// Returns when it is closed: answers whether "撤销" closed it.
bool ShowSummaryBox(HWND owner, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const Details& details, bool offer_undo);

}  // namespace batchext::win32
