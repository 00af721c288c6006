#include "ui/win32/preview_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "fs/win_support.h"
#include "ui/form/run_texts.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/text_faces.h"
#include "ui/win32/window_class.h"

namespace batchext::win32 {
namespace {

// In 96-dpi pixels; scaled to the owner's DPI.
constexpr int kWidth = 820;
constexpr int kHeight = 480;
constexpr int kMargin = 12;
constexpr int kCountsHeight = 36;
constexpr int kButtonHeight = 26;
constexpr int kColumnWidths[] = {320, 320, 150};
constexpr DWORD kStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

class PreviewWindow {
 public:
  PreviewWindow(HWND owner, const PreviewList& list)
      : owner_(owner),
        list_(list),
        dpi_(owner ? static_cast<int>(::GetDpiForWindow(owner)) : 96) {}
  PreviewWindow(const PreviewWindow&) = delete;
  PreviewWindow& operator=(const PreviewWindow&) = delete;
  ~PreviewWindow() {
    if (window_) ::DestroyWindow(window_);
    if (font_) ::DeleteObject(font_);
  }

  bool Run();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Create();
  HWND Child(const wchar_t* window_class, const std::string& text, DWORD style,
             int id);
  void Layout();
  void Fill(NMLVDISPINFOW& info);
  int Px(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }

  HWND owner_;
  const PreviewList& list_;
  int dpi_;
  HWND window_ = nullptr;
  HWND counts_ = nullptr;
  HWND rows_ = nullptr;
  HWND start_ = nullptr;
  HWND close_ = nullptr;
  HFONT font_ = nullptr;
  // The list view reads a row's text from here until it asks for the next.
  std::wstring shown_;
  bool done_ = false;
  bool started_ = false;
};

bool PreviewWindow::Run() {
  Create();
  if (!window_) return false;
  if (owner_) ::EnableWindow(owner_, FALSE);
  ::ShowWindow(window_, SW_SHOW);
  ::SetFocus(rows_);
  MSG message;
  while (!done_) {
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (!::IsDialogMessageW(window_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // Enabled first, so that the owner gets the activation back.
  if (owner_) ::EnableWindow(owner_, TRUE);
  ::DestroyWindow(window_);
  window_ = nullptr;
  return started_;
}

void PreviewWindow::Create() {
  RegisterPlainClass(kPreviewClass, WindowProc);

  RECT frame{0, 0, Px(kWidth), Px(kHeight)};
  ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle,
                             static_cast<UINT>(dpi_));
  RECT owner_box{};
  if (owner_) ::GetWindowRect(owner_, &owner_box);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred over the owner, which is narrower, yet whole on its screen.
  MONITORINFO screen{};
  screen.cbSize = sizeof(screen);
  ::GetMonitorInfoW(::MonitorFromRect(&owner_box, MONITOR_DEFAULTTONEAREST),
                    &screen);
  const RECT& work = screen.rcWork;
  const int left = std::max<int>(
      work.left, std::min<int>((owner_box.left + owner_box.right - width) / 2,
                               work.right - width));
  const int top = std::max<int>(
      work.top, std::min<int>((owner_box.top + owner_box.bottom - height) / 2,
                              work.bottom - height));
  window_ = ::CreateWindowExW(
      kExStyle, kPreviewClass, Utf8ToWide(kPreviewTitle).c_str(), kStyle, left,
      top, width, height, owner_, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!window_) return;

  font_ = MessageFontFor(dpi_, Utf8ToWide(list_.CountsText()));
  counts_ = Child(L"STATIC", list_.CountsText(), SS_LEFT | SS_NOPREFIX,
                  kPreviewCountsId);
  rows_ = Child(WC_LISTVIEWW, "",
                LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SINGLESEL |
                    WS_BORDER | WS_TABSTOP,
                kPreviewListId);
  ::SendMessageW(rows_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int column = 0; column < PreviewList::kColumns; ++column) {
    std::wstring header = Utf8ToWide(kPreviewColumns[column]);
    LVCOLUMNW spec{};
    spec.mask = LVCF_TEXT | LVCF_WIDTH;
    spec.pszText = header.data();
    spec.cx = Px(kColumnWidths[column]);
    ::SendMessageW(rows_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                   reinterpret_cast<LPARAM>(&spec));
  }
  ::SendMessageW(rows_, LVM_SETITEMCOUNT, list_.size(), 0);
  start_ = Child(L"BUTTON", kPreviewStartText, BS_PUSHBUTTON | WS_TABSTOP,
                 kPreviewStartId);
  close_ = Child(L"BUTTON", kPreviewCloseText, BS_DEFPUSHBUTTON | WS_TABSTOP,
                 IDCANCEL);
  Layout();
}

HWND PreviewWindow::Child(const wchar_t* window_class, const std::string& text,
                          DWORD style, int id) {
  HWND child = ::CreateWindowExW(
      0, window_class, Utf8ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style,
      0, 0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return child;
}

void PreviewWindow::Layout() {
  RECT client{};
  ::GetClientRect(window_, &client);
  const int margin = Px(kMargin);
  const int button_top = client.bottom - margin - Px(kButtonHeight);
  const int close_left = client.right - margin - Px(88);
  const int start_left = close_left - Px(8) - Px(120);
  const auto place = [](HWND child, int left, int top, int right, int bottom) {
    ::SetWindowPos(child, nullptr, left, top, right - left, bottom - top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(counts_, margin, margin, client.right - margin,
        margin + Px(kCountsHeight));
  place(rows_, margin, margin + Px(kCountsHeight) + Px(4),
        client.right - margin, button_top - Px(8));
  place(start_, start_left, button_top, start_left + Px(120),
        button_top + Px(kButtonHeight));
  place(close_, close_left, button_top, close_left + Px(88),
        button_top + Px(kButtonHeight));
}

void PreviewWindow::Fill(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (!(item.mask & LVIF_TEXT) || item.iItem < 0 ||
      static_cast<std::size_t>(item.iItem) >= list_.size() ||
      item.iSubItem < 0 || item.iSubItem >= PreviewList::kColumns) {
    return;
  }
  shown_ =
      Utf8ToWide(list_.Text(static_cast<std::size_t>(item.iItem),
                            static_cast<PreviewList::Column>(item.iSubItem)));
  item.pszText = shown_.data();
}

LRESULT CALLBACK PreviewWindow::WindowProc(HWND window, UINT message,
                                           WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<PreviewWindow*>(
      ::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && self->window_ == window) {
    return self->Handle(message, wparam, lparam);
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT PreviewWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kPreviewStartId) started_ = done_ = true;
      if (LOWORD(wparam) == IDCANCEL) done_ = true;
      return 0;
    case WM_CLOSE:
      done_ = true;
      return 0;
    // Enter presses the focused button; anywhere else it closes, so that
    // only a press on purpose writes.
    case DM_GETDEFID: {
      const HWND focus = ::GetFocus();
      const int id = focus == start_ ? kPreviewStartId : IDCANCEL;
      return MAKELRESULT(id, DC_HASDEFID);
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->hwndFrom == rows_ && header->code == LVN_GETDISPINFOW) {
        Fill(*reinterpret_cast<NMLVDISPINFOW*>(lparam));
        return 0;
      }
      break;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {Px(360), Px(200)};
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

}  // namespace

bool ShowPreviewWindow(HWND owner, const PreviewList& list) {
  PreviewWindow window(owner, list);
  return window.Run();
}

}  // namespace batchext::win32
