#pragma once

#include <windows.h>

#include "ui/form/preview_list.h"

namespace batchext::win32 {

// Shows what a preview decided in a resizable window, modal over `owner`:
// the counts above a virtual list of source, destination and result, with
// "开始批量修改" and "关闭". Tab moves between them, Esc closes, Enter
// presses the focused button and elsewhere closes. Answers whether
// "开始批量修改" was pressed.
bool ShowPreviewWindow(HWND owner, const PreviewList& list);

}  // namespace batchext::win32
