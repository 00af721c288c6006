#include "ui/win32/message_box.h"

#include "fs/win_support.h"
#include "ui/form/form_layout.h"

namespace batchext::win32 {

void ShowMessageBox(HWND owner, const std::string& text,
                    const std::string& title, MessageStyle style) {
  // The style values are MessageBoxW's own: MB_OK with no icon, MB_ICONSTOP,
  // MB_ICONEXCLAMATION, MB_ICONINFORMATION.
  const UINT flags =
      MB_OK | static_cast<UINT>(style) | (owner ? MB_APPLMODAL : MB_TASKMODAL);
  ::MessageBoxW(owner, Utf8ToWide(text).c_str(),
                Utf8ToWide(title.empty() ? kApplicationTitle : title).c_str(),
                flags);
}

}  // namespace batchext::win32
