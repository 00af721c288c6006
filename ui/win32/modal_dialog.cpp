#include "ui/win32/modal_dialog.h"

#include <algorithm>

#include "fs/win_support.h"
#include "ui/win32/text_faces.h"

namespace batchext::win32 {
namespace {

// A template without controls: they are made in code, in pixels.
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD window_class = 0;
  WORD title = 0;
};

}  // namespace

int ModalDialog::Run(HWND owner, const std::string& title, bool resizable) {
  Open(owner, title, resizable);
  if (!dialog_) return IDCANCEL;
  // The owner may already be held by a progress display; it stays so.
  const bool owner_enabled = owner && ::IsWindowEnabled(owner);
  if (owner_enabled) ::EnableWindow(owner, FALSE);
  ::ShowWindow(dialog_, SW_SHOW);
  // Activation put it on the first tab stop.
  if (initial_focus_) ::SetFocus(initial_focus_);
  MSG message{};
  while (!done_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    const bool ours =
        message.hwnd == dialog_ || ::IsChild(dialog_, message.hwnd);
    if (ours && message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
      OnEnter();
      continue;
    }
    if (!::IsDialogMessageW(dialog_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // Before the dialog goes, so that the owner takes the activation back.
  if (owner_enabled) ::EnableWindow(owner, TRUE);
  ::DestroyWindow(dialog_);
  dialog_ = nullptr;
  if (font_) ::DeleteObject(font_);
  font_ = nullptr;
  return result_;
}

void ModalDialog::Open(HWND owner, const std::string& title, bool resizable) {
  EmptyTemplate empty{};
  empty.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                       (resizable ? WS_THICKFRAME : 0);
  empty.dialog.dwExtendedStyle = WS_EX_CONTROLPARENT;
  done_ = false;
  result_ = IDCANCEL;
  initial_focus_ = nullptr;
  dpi_ = owner ? static_cast<int>(::GetDpiForWindow(owner)) : 96;
  font_ = MessageFontFor(dpi_, Utf8ToWide(title));
  dialog_ =
      ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), &empty.dialog,
                                   owner, Proc, reinterpret_cast<LPARAM>(this));
  if (!dialog_) return;
  ::SetWindowTextW(dialog_, Utf8ToWide(title).c_str());
  const SIZE wanted = OnInit();
  const DWORD style =
      static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_STYLE));
  const DWORD ex_style =
      static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_EXSTYLE));
  RECT frame{0, 0, wanted.cx, wanted.cy};
  ::AdjustWindowRectExForDpi(&frame, style, FALSE, ex_style,
                             static_cast<UINT>(dpi_));
  const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
  // A report may shrink a little; a box keeps what its text needs.
  minimum_ = resizable ? SIZE{size.cx * 3 / 5, size.cy * 3 / 5} : size;
  // Centred over the owner, but wholly on the owner's screen.
  RECT around{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
  if (!owner || !::GetWindowRect(owner, &around)) around = monitor.rcWork;
  const RECT& work = monitor.rcWork;
  // The top left stays on the screen even when the dialog is larger.
  const auto place = [](LONG centred, LONG low, LONG high) {
    return std::max(low, std::min(centred, high));
  };
  const int left = place((around.left + around.right - size.cx) / 2, work.left,
                         work.right - size.cx);
  const int top = place((around.top + around.bottom - size.cy) / 2, work.top,
                        work.bottom - size.cy);
  ::SetWindowPos(dialog_, nullptr, left, top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  ::GetClientRect(dialog_, &client);
  OnSize({client.right, client.bottom});
}

void ModalDialog::End(int result) {
  result_ = result;
  done_ = true;
}

HWND ModalDialog::AddChild(const wchar_t* window_class,
                           const std::wstring& text, DWORD style, int id) {
  const HWND child = ::CreateWindowExW(
      0, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
      dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return child;
}

SIZE ModalDialog::Measure(const std::wstring& text, int width) const {
  HDC dc = ::GetDC(dialog_);
  const HGDIOBJ old = ::SelectObject(dc, font_);
  RECT box{0, 0, width > 0 ? width : 1, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS |
                  (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  ::SelectObject(dc, old);
  ::ReleaseDC(dialog_, dc);
  return {box.right - box.left, box.bottom - box.top};
}

INT_PTR CALLBACK ModalDialog::Proc(HWND dialog, UINT message, WPARAM wparam,
                                   LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    reinterpret_cast<ModalDialog*>(lparam)->dialog_ = dialog;
  }
  auto* self =
      reinterpret_cast<ModalDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->Handle(message, wparam, lparam) : FALSE;
}

INT_PTR ModalDialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return FALSE;  // the focus is set by OnInit()
    case WM_COMMAND:
      OnCommand(LOWORD(wparam));
      return TRUE;
    case WM_NOTIFY:
      ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT,
                          OnNotify(*reinterpret_cast<NMHDR*>(lparam)));
      return TRUE;
    case WM_SIZE:
      OnSize({LOWORD(lparam), HIWORD(lparam)});
      return TRUE;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {minimum_.cx, minimum_.cy};
      return TRUE;
    }
    case WM_CLOSE:
      OnCommand(IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace batchext::win32
