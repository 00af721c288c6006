#include "ui/win32/run_progress.h"

#include <commctrl.h>

#include "fs/win_support.h"
#include "ui/form/form_layout.h"
#include "ui/win32/accessible_names.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/text_faces.h"
#include "ui/win32/window_class.h"

namespace batchext::win32 {
namespace {

// In 96-dpi pixels; scaled to the owner's DPI.
constexpr int kWidth = 600;
constexpr int kHeight = 150;

struct Layout {
  int dpi;
  int Px(int pixels) const { return ::MulDiv(pixels, dpi, 96); }
};

HWND Child(HWND parent, const wchar_t* window_class, const wchar_t* text,
           DWORD style, RECT box, int id, HFONT font) {
  HWND child = ::CreateWindowExW(
      0, window_class, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top,
      box.right - box.left, box.bottom - box.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace

RunProgress::RunProgress(HWND owner, ProgressTiming timing)
    : owner_(owner),
      tracker_(
          timing,
          {.shown = [this] { return dialog_ && ::IsWindowVisible(dialog_); },
           .show = [this] { Show(); },
           .refresh =
               [this] {
                 Refresh();
                 PumpMessages();
               }}) {}

RunProgress::~RunProgress() {
  for (HWND window : disabled_) ::EnableWindow(window, TRUE);
  if (dialog_) ::DestroyWindow(dialog_);
  if (font_) ::DeleteObject(font_);
}

void RunProgress::Pause() {
  if (dialog_) ::ShowWindow(dialog_, SW_HIDE);
}

void RunProgress::Show() {
  if (!dialog_) {
    CreateDialogWindow();
    ::EnumThreadWindows(::GetCurrentThreadId(), DisableOther,
                        reinterpret_cast<LPARAM>(this));
  }
  ::ShowWindow(dialog_, SW_SHOW);
  ::UpdateWindow(dialog_);
}

BOOL CALLBACK RunProgress::DisableOther(HWND window, LPARAM self_pointer) {
  auto* self = reinterpret_cast<RunProgress*>(self_pointer);
  if (window != self->dialog_ && ::IsWindowEnabled(window)) {
    ::EnableWindow(window, FALSE);
    self->disabled_.push_back(window);
  }
  return TRUE;
}

void RunProgress::CreateDialogWindow() {
  RegisterPlainClass(kProgressClass, DialogProc);

  const Layout layout{owner_ ? static_cast<int>(::GetDpiForWindow(owner_))
                             : 96};
  RECT frame{0, 0, layout.Px(kWidth), layout.Px(kHeight)};
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  ::AdjustWindowRectExForDpi(&frame, style, FALSE, WS_EX_DLGMODALFRAME,
                             layout.dpi);
  RECT owner_box{};
  ::GetWindowRect(owner_, &owner_box);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  dialog_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass,
                              Utf8ToWide(kApplicationTitle).c_str(), style,
                              (owner_box.left + owner_box.right - width) / 2,
                              (owner_box.top + owner_box.bottom - height) / 2,
                              width, height, owner_, nullptr,
                              ::GetModuleHandleW(nullptr), this);

  font_ = MessageFontFor(layout.dpi, Utf8ToWide(std::string(kProgressHeardAs) +
                                                kProgressCancelCaption));
  const int margin = layout.Px(12);
  const int line = layout.Px(20);
  const int right = layout.Px(kWidth) - margin;
  count_line_ = Child(dialog_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX,
                      {margin, margin, right, margin + line}, 0, font_);
  folder_line_ =
      Child(dialog_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS,
            {margin, margin + line, right, margin + 2 * line}, 0, font_);
  bar_ = Child(dialog_, PROGRESS_CLASSW, L"", PBS_MARQUEE,
               {margin, margin + 2 * line + layout.Px(8), right,
                margin + 3 * line + layout.Px(4)},
               0, font_);
  Announce(dialog_, [] {
    return HeardAs{.name = Utf8ToWide(kProgressHeardAs),
                   .description = L"",
                   .role = 0,
                   .action = L"",
                   .press = nullptr};
  });
  Announce(bar_, [] {
    return HeardAs{.name = Utf8ToWide(kProgressBarHeardAs),
                   .description = L"",
                   .role = 0,
                   .action = L"",
                   .press = nullptr};
  });
  // Busy until the total is known.
  ::SendMessageW(bar_, PBM_SETMARQUEE, TRUE, 30);
  Child(dialog_, L"BUTTON", Utf8ToWide(kProgressCancelCaption).c_str(),
        WS_TABSTOP | BS_PUSHBUTTON,
        {right - layout.Px(88), layout.Px(kHeight) - margin - layout.Px(26),
         right, layout.Px(kHeight) - margin},
        kProgressCancelId, font_);
}

void RunProgress::Refresh() {
  ::SetWindowTextW(count_line_, Utf8ToWide(tracker_.CountLine()).c_str());
  if (const std::optional<long long> total = tracker_.total()) {
    const LONG_PTR style = ::GetWindowLongPtrW(bar_, GWL_STYLE);
    if (style & PBS_MARQUEE) {
      ::SendMessageW(bar_, PBM_SETMARQUEE, FALSE, 0);
      ::SetWindowLongPtrW(bar_, GWL_STYLE, style & ~PBS_MARQUEE);
      ::SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
    }
    ::SendMessageW(
        bar_, PBM_SETPOS,
        static_cast<WPARAM>(
            *total > 0 ? tracker_.files_handled() * 1000 / *total : 1000),
        0);
  }
  ::SetWindowTextW(
      folder_line_,
      Utf8ToWide(kProgressFolderLabel + tracker_.folder()).c_str());
}

// Only the dialog can take input meanwhile, so nothing else runs in the
// middle of the conversion.
void RunProgress::PumpMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      tracker_.Cancel();
      return;
    }
    if (!::IsDialogMessageW(dialog_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

LRESULT CALLBACK RunProgress::DialogProc(HWND window, UINT message,
                                         WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RunProgress*>(
      ::GetWindowLongPtrW(window, GWLP_USERDATA));
  const bool cancel =
      (message == WM_COMMAND && LOWORD(wparam) == kProgressCancelId) ||
      (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) ||
      message == WM_CLOSE;
  if (cancel && self) {
    self->tracker_.Cancel();
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace batchext::win32
