// The Win32 window program: one window, its events forwarded to the shared
// handlers, until the user closes it.

#include <windows.h>
// commctrl.h and ole2.h need windows.h first.
#include <commctrl.h>
#include <ole2.h>

#include "ui/form/info_links.h"
#include "ui/win32/folder_picker.h"
#include "ui/win32/frm_main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  // The folder dialog and the web panels are COM objects of this thread.
  if (FAILED(::OleInitialize(nullptr))) return 1;
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&classes);
  int exit_code = 1;
  {
    batchext::win32::FrmMain window(batchext::DefaultInfoLinks());
    if (window.Open(show_command, batchext::win32::StartFolder())) {
      MSG message;
      while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab moves through the controls; Enter and Esc press nothing.
        HWND main = window.window();
        if (main && ::IsDialogMessageW(main, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      exit_code = static_cast<int>(message.wParam);
    }
  }
  ::OleUninitialize();
  return exit_code;
}
