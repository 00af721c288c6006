#include "ui/win32/summary_box.h"

#include <algorithm>
#include <vector>

#include "fs/win_support.h"
#include "ui/form/form_layout.h"
#include "ui/form/run_texts.h"
#include "ui/win32/details_report.h"
#include "ui/win32/modal_dialog.h"

namespace batchext::win32 {
namespace {

const wchar_t* IconOf(MessageStyle style) {
  switch (style) {
    case MessageStyle::kError:
      return IDI_ERROR;
    case MessageStyle::kWarning:
      return IDI_WARNING;
    case MessageStyle::kInformation:
      return IDI_INFORMATION;
    case MessageStyle::kPlain:
      break;
  }
  return nullptr;
}

// Lines end in CR LF, as in the system's own message boxes.
std::wstring WithCrLf(const std::string& text) {
  std::wstring lines;
  for (const wchar_t c : Utf8ToWide(text)) {
    if (c == L'\n' && (lines.empty() || lines.back() != L'\r')) lines += L'\r';
    lines += c;
  }
  return lines;
}

class SummaryBox : public ModalDialog {
 public:
  SummaryBox(const std::string& text, MessageStyle style,
             const Details& details, bool offer_undo)
      : text_(WithCrLf(text)),
        style_(style),
        details_(details),
        offer_undo_(offer_undo) {}

 private:
  SIZE OnInit() override {
    if (const wchar_t* icon = IconOf(style_)) {
      icon_ = AddChild(L"STATIC", L"", SS_ICON, -1);
      ::SendMessageW(icon_, STM_SETICON,
                     reinterpret_cast<WPARAM>(::LoadIconW(nullptr, icon)), 0);
    }
    label_ = AddChild(L"STATIC", text_, SS_LEFT | SS_NOPREFIX, kSummaryTextId);
    if (offer_undo_) {
      buttons_.push_back(AddChild(L"BUTTON", Utf8ToWide(kUndoButtonText),
                                  BS_PUSHBUTTON | WS_TABSTOP, kSummaryUndoId));
    }
    if (!details_.empty()) {
      buttons_.push_back(AddChild(L"BUTTON", Utf8ToWide(kDetailsButtonText),
                                  BS_PUSHBUTTON | WS_TABSTOP,
                                  kSummaryDetailsId));
    }
    const HWND ok = AddChild(L"BUTTON", Utf8ToWide(kOkButtonText),
                             BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK);
    buttons_.push_back(ok);
    SetInitialFocus(ok);

    text_size_ = Measure(text_, Px(420));
    button_width_ = Px(88);
    for (const HWND button : buttons_) {
      wchar_t caption[64] = {};
      ::GetWindowTextW(button, caption, 64);
      button_width_ =
          std::max<int>(button_width_, Measure(caption).cx + Px(24));
    }
    const int buttons = static_cast<int>(buttons_.size());
    const int icon_room = icon_ ? IconSize() + Px(12) : 0;
    const int width = std::max<int>(
        Px(12) * 2 + icon_room + text_size_.cx,
        Px(12) * 2 + buttons * button_width_ + (buttons - 1) * Px(8));
    const int top = std::max<int>(text_size_.cy, icon_ ? IconSize() : 0);
    return {width, Px(16) + top + Px(16) + Px(26) + Px(12)};
  }

  void OnSize(SIZE size) override {
    const int margin = Px(12);
    const int icon_room = icon_ ? IconSize() + margin : 0;
    if (icon_) {
      ::MoveWindow(icon_, margin, Px(16), IconSize(), IconSize(), TRUE);
    }
    ::MoveWindow(label_, margin + icon_room, Px(16), text_size_.cx,
                 text_size_.cy, TRUE);
    int left = size.cx - margin;
    const int top = size.cy - Px(12) - Px(26);
    for (auto button = buttons_.rbegin(); button != buttons_.rend(); ++button) {
      left -= button_width_;
      ::MoveWindow(*button, left, top, button_width_, Px(26), TRUE);
      left -= Px(8);
    }
  }

  void OnCommand(int id) override {
    switch (id) {
      case kSummaryUndoId:
        End(kSummaryUndoId);
        break;
      case kSummaryDetailsId:
        ShowDetailsReport(dialog(), details_);
        break;
      case IDOK:
      case IDCANCEL:
        End(IDOK);
        break;
      default:
        break;
    }
  }

  int IconSize() const {
    return ::GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi()));
  }

  std::wstring text_;
  MessageStyle style_;
  const Details& details_;
  bool offer_undo_;
  HWND icon_ = nullptr;
  HWND label_ = nullptr;
  std::vector<HWND> buttons_;
  SIZE text_size_{};
  int button_width_ = 0;
};

}  // namespace

bool ShowSummaryBox(HWND owner, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const Details& details, bool offer_undo) {
  SummaryBox box(text, style, details, offer_undo);
  return box.Run(owner, title.empty() ? kApplicationTitle : title, false) ==
         kSummaryUndoId;
}

}  // namespace batchext::win32
