#pragma once

#include <windows.h>

#include "ui/form/run_details.h"

namespace batchext::win32 {

// Children of the report, found by these ids from outside.
inline constexpr int kReportListId = 300;
inline constexpr int kReportCopyId = 301;
inline constexpr int kReportSaveId = 302;

// The details as a resizable list of paths and reasons, modal over
// `owner`, with "复制" (to the clipboard), "保存..." (a UTF-8 text file)
// and "关闭"; Enter closes it whatever has the focus.
void ShowDetailsReport(HWND owner, const Details& details);

}  // namespace batchext::win32
