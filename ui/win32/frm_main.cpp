#include "ui/win32/frm_main.h"

#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "fs/state_folder.h"
#include "fs/win_support.h"
#include "ui/win32/accessible_names.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/folder_drop.h"
#include "ui/win32/folder_picker.h"
#include "ui/win32/link_launcher.h"
#include "ui/win32/message_box.h"
#include "ui/win32/preview_window.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/run_progress.h"
#include "ui/win32/summary_box.h"
#include "ui/win32/text_faces.h"

namespace batchext::win32 {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

struct Native {
  const wchar_t* window_class;
  DWORD style;
  DWORD ex_style = 0;
};

Native NativeOf(const ControlSpec& spec) {
  constexpr DWORD kText = SS_NOPREFIX;  // paths may hold '&'
  switch (spec.kind) {
    case ControlKind::kFrame:
      return {L"BUTTON", BS_GROUPBOX};
    case ControlKind::kCaption:
      return {L"STATIC", SS_LEFTNOWORDWRAP | kText};
    case ControlKind::kFolderField:
      // A long path loses its middle, so that the folder's own name and
      // the "(2)" stay in sight; the tooltip has it whole.
      return {L"STATIC",
              SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS | SS_NOTIFY | kText};
    case ControlKind::kLinkLabel:
      return {L"STATIC", (spec.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP) |
                             SS_NOTIFY | kText};
    case ControlKind::kBrowseButton:
    case ControlKind::kButton:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::kTextBox:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::kCheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP};
    case ControlKind::kWebPanel:
      break;
  }
  return {nullptr, 0};
}

// Win32 stacks siblings in creation order, the first on top, and tabs
// through them in the same order. So the tab stops come first, in tab
// order, and the rest follow with the later table entries on top, as the
// table wants; the frame, first in the table, ends at the bottom.
std::vector<std::size_t> CreationOrder(std::span<const ControlSpec> specs) {
  std::vector<std::size_t> order(specs.size());
  for (std::size_t index = 0; index < specs.size(); ++index) {
    order[index] = index;
  }
  std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) {
    const int tab_a = specs[a].tab_index;
    const int tab_b = specs[b].tab_index;
    if ((tab_a < 0) != (tab_b < 0)) return tab_a >= 0;
    return tab_a >= 0 ? tab_a < tab_b : a > b;
  });
  return order;
}

// The table's face, or the first of its stand-ins that is installed.
std::wstring FaceFor(const FontSpec& spec) {
  if (spec.face != kSongTiFaces[0]) return Utf8ToWide(spec.face);
  for (const char* face : kSongTiFaces) {
    if (FaceInstalled(Utf8ToWide(face), spec.charset)) return Utf8ToWide(face);
  }
  return Utf8ToWide(spec.face);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)),
                    L'\0');
  ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()) + 1);
  return text;
}

}  // namespace

FrmMain::FrmMain(InfoLinks links)
    : handlers_(Seams(), std::move(links)),
      hand_(static_cast<HCURSOR>(::LoadImageW(
          ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(BATCHEXT_IDC_HAND),
          IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE))) {}

FrmMain::~FrmMain() {
  panels_.clear();
  if (window_) ::DestroyWindow(window_);
  for (const auto& [key, font] : fonts_) ::DeleteObject(font);
  for (const Control& control : controls_) {
    if (control.back_brush) ::DeleteObject(control.back_brush);
  }
  if (hand_) ::DestroyCursor(hand_);
}

FormSeams FrmMain::Seams() {
  FormSeams seams;
  seams.pick_folder = SelectFolder;
  seams.show = [this](const std::string& text, const std::string& title,
                      MessageStyle style) {
    ShowMessageBox(window_, text, title, style);
  };
  seams.open_link = OpenAddress;
  seams.show_folders = [this](const std::string& from,
                              const std::string& target) {
    ShowFolders(from, target);
  };
  seams.set_checked = [this](const ControlSpec& option, bool checked) {
    ::SendMessageW(Find(option.name)->window, BM_SETCHECK,
                   checked ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  seams.load_panel = [this](const ControlSpec& panel,
                            const std::string& address) {
    LoadPanel(panel, address);
  };
  seams.show_preview = [this](const PreviewList& list) {
    return ShowPreviewWindow(window_, list);
  };
  seams.show_summary = [this](const std::string& text, const std::string& title,
                              MessageStyle style, const Details& details,
                              bool offer_undo) {
    return ShowSummaryBox(window_, text, title, style, details, offer_undo);
  };
  seams.journal_folder = StateFolder();
  return seams;
}

bool FrmMain::Open(int show_command, const std::string& start_folder) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hIcon = ::LoadIconW(window_class.hInstance, L"IDI_ICON1");
  window_class.hIconSm = static_cast<HICON>(::LoadImageW(
      window_class.hInstance, L"IDI_ICON1", IMAGE_ICON,
      ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kFrmMainClass;
  if (!::RegisterClassExW(&window_class)) return false;

  window_ = ::CreateWindowExW(
      WS_EX_CONTROLPARENT, kFrmMainClass, Utf8ToWide(kApplicationTitle).c_str(),
      kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
      nullptr, nullptr, window_class.hInstance, this);
  if (!window_) return false;
  dpi_ = static_cast<int>(::GetDpiForWindow(window_));
  CreateControls();
  CreateTooltips();
  AnnounceControls();
  Resize();
  Layout();
  handlers_.Load();
  if (!start_folder.empty()) handlers_.DropFromFolder(start_folder);
  last_focus_ = Find(FirstTabStop().name)->window;
  ::DragAcceptFiles(window_, TRUE);
  ::ShowWindow(window_, show_command);
  // The focus is shown from the start, not only once a key is pressed.
  ::SendMessageW(window_, WM_CHANGEUISTATE,
                 MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  ::SetFocus(last_focus_);
  return true;
}

void FrmMain::CreateControls() {
  const std::span<const ControlSpec> specs = FormControls();
  controls_.reserve(specs.size());
  for (const ControlSpec& spec : specs)
    controls_.push_back({&spec, nullptr, spec.rect});
  for (const std::size_t index : CreationOrder(specs)) {
    const ControlSpec& spec = specs[index];
    Control& control = controls_[index];
    const int id = ControlId(index);
    if (spec.kind == ControlKind::kWebPanel) {
      auto panel = std::make_unique<WebPanel>(window_, id);
      control.window = panel->window();
      panels_[&spec] = std::move(panel);
      continue;
    }
    const Native native = NativeOf(spec);
    control.window = ::CreateWindowExW(
        native.ex_style, native.window_class,
        Utf8ToWide(CaptionOf(spec, handlers_.links())).c_str(),
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | native.style, 0, 0, 0, 0,
        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        ::GetModuleHandleW(nullptr), nullptr);
    if (spec.kind == ControlKind::kTextBox) {
      ::SendMessageW(control.window, EM_SETLIMITTEXT, 0, 0);  // no limit
    }
    if (spec.back_colour) {
      const Rgb colour = *spec.back_colour;
      control.back_brush =
          ::CreateSolidBrush(RGB(colour.red, colour.green, colour.blue));
    }
  }
}

// Each control is heard by what a sighted user reads beside it; the chosen
// folders are asked for when heard, since they change.
void FrmMain::AnnounceControls() {
  for (const Control& control : controls_) {
    const ControlSpec& spec = *control.spec;
    const bool from = spec.click == ClickAction::kBrowseFromFolder ||
                      std::string_view(spec.name) == "LblFromFolder";
    const bool target = spec.click == ClickAction::kBrowseTargetFolder ||
                        std::string_view(spec.name) == "LblTargetFolder";
    if (spec.kind == ControlKind::kLinkLabel) {
      Announce(control.window, [this, &spec] {
        return HeardAs{.name = Utf8ToWide(CaptionOf(spec, handlers_.links())),
                       .description = L"",
                       .role = ROLE_SYSTEM_LINK,
                       .action = L"跳转",
                       .press = [this, &spec] { handlers_.OpenLink(spec); }};
      });
    } else if (*spec.heard_as) {
      Announce(control.window, [this, &spec, from, target] {
        const FolderPath& folder = from ? handlers_.settings().FromFolder
                                        : handlers_.settings().TargetFolder;
        return HeardAs{.name = Utf8ToWide(spec.heard_as),
                       .description = from || target ? Utf8ToWide(folder.text())
                                                     : std::wstring(),
                       .role = 0,
                       .action = L"",
                       .press = nullptr};
      });
    }
  }
}

void FrmMain::CreateTooltips() {
  tooltips_ =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                        window_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  for (const Control& control : controls_) {
    // A folder field's tip is its path, set as it changes.
    if (*control.spec->tooltip == '\0' &&
        control.spec->kind != ControlKind::kFolderField) {
      continue;
    }
    std::wstring text = Utf8ToWide(control.spec->tooltip);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control.window);
    tool.lpszText = text.data();  // copied by the control
    ::SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

// The client area is fixed in twips; the frame around it follows the DPI.
void FrmMain::Resize() {
  RECT frame{0, 0, Px(kClientWidthTwips), Px(kClientHeightTwips)};
  ::AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, WS_EX_CONTROLPARENT,
                             static_cast<UINT>(dpi_));
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FrmMain::Layout() {
  for (auto& [key, font] : fonts_) ::DeleteObject(font);
  fonts_.clear();
  for (Control& control : controls_) {
    const RECT box = PixelRect(control);
    const auto panel = panels_.find(control.spec);
    if (panel != panels_.end()) {
      panel->second->Place(box);
      continue;
    }
    ::SetWindowPos(control.window, nullptr, box.left, box.top,
                   box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(control.window, WM_SETFONT,
                   reinterpret_cast<WPARAM>(
                       FontFor(control.spec->font, TextOf(control.window))),
                   TRUE);
    FitCaption(control);
  }
}

// The table's font, in a face that draws `text` where the table's cannot.
HFONT FrmMain::FontFor(const FontSpec& spec, const std::wstring& text) {
  LOGFONTW font{};
  font.lfHeight = -static_cast<LONG>(std::lround(spec.points * dpi_ / 72.0));
  font.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = spec.charset;
  font.lfQuality = DEFAULT_QUALITY;
  FaceFor(spec).copy(font.lfFaceName, LF_FACESIZE - 1);
  font = FontDrawing(font, text);
  const auto key = std::make_tuple(spec.face, spec.points, spec.bold,
                                   std::wstring(font.lfFaceName));
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  return fonts_[key] = ::CreateFontIndirectW(&font);
}

// Where a face runs wider than the box was drawn for, a caption is set a
// little tighter rather than cut off.
void FrmMain::FitCaption(Control& control) {
  control.letter_spacing = 0;
  if (control.spec->kind != ControlKind::kCaption) return;
  const std::wstring text = TextOf(control.window);
  if (text.empty()) return;
  HDC dc = ::GetDC(control.window);
  const HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(
                             ::SendMessageW(control.window, WM_GETFONT, 0, 0)));
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                          &extent);
  ::SelectObject(dc, old);
  ::ReleaseDC(control.window, dc);
  const RECT box = PixelRect(control);
  const int excess = extent.cx - (box.right - box.left);
  if (excess > 0) {
    const int length = static_cast<int>(text.size());
    control.letter_spacing = -((excess + length - 1) / length);
  }
}

int FrmMain::Px(int twips) const { return ::MulDiv(twips, dpi_, 1440); }

RECT FrmMain::PixelRect(const Control& control) const {
  TwipRect rect = control.placed;
  if (*control.spec->parent != '\0') {
    const ControlSpec* parent = FindControl(control.spec->parent);
    rect.left += parent->rect.left;
    rect.top += parent->rect.top;
  }
  return {Px(rect.left), Px(rect.top), Px(rect.right()), Px(rect.bottom())};
}

FrmMain::Control* FrmMain::Find(const char* name) {
  const auto found = std::ranges::find_if(controls_, [name](const Control& c) {
    return std::string_view(c.spec->name) == name;
  });
  return found == controls_.end() ? nullptr : &*found;
}

FrmMain::Control* FrmMain::Find(HWND window) {
  const auto found = std::ranges::find(controls_, window, &Control::window);
  return found == controls_.end() ? nullptr : &*found;
}

LRESULT CALLBACK FrmMain::WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self =
      reinterpret_cast<FrmMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && self->window_ == window) {
    return self->Handle(message, wparam, lparam);
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT FrmMain::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (OnCommand(wparam, lparam)) return 0;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColour(reinterpret_cast<HDC>(wparam),
                             reinterpret_cast<HWND>(lparam));
    case WM_SETCURSOR: {
      const Control* control = Find(reinterpret_cast<HWND>(wparam));
      if (control && control->spec->hand_cursor && hand_ &&
          LOWORD(lparam) == HTCLIENT) {
        ::SetCursor(hand_);
        return TRUE;
      }
      break;
    }
    // As a dialog does: activation would otherwise put the focus on the
    // window itself, where no key reaches a control.
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(window_, focus)) last_focus_ = focus;
      } else if (last_focus_) {
        ::SetFocus(last_focus_);
      }
      return 0;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      const RECT* suggested = reinterpret_cast<RECT*>(lparam);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left,
                     suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      Resize();
      Layout();
      return 0;
    }
    case WM_DESTROY:
      panels_.clear();
      window_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

bool FrmMain::OnCommand(WPARAM wparam, LPARAM lparam) {
  const Control* control = Find(reinterpret_cast<HWND>(lparam));
  const bool clicked =
      (HIWORD(wparam) == BN_CLICKED || HIWORD(wparam) == STN_CLICKED);
  if (!control || !clicked) return false;
  switch (control->spec->click) {
    case ClickAction::kBrowseFromFolder:
      handlers_.BrowseFromFolder();
      return true;
    case ClickAction::kBrowseTargetFolder:
      handlers_.BrowseTargetFolder();
      return true;
    case ClickAction::kOk:
      RunConversion();
      return true;
    case ClickAction::kPreview:
      handlers_.Preview(Request(), Watched());
      return true;
    case ClickAction::kOpenAddress:
      handlers_.OpenLink(*control->spec);
      return true;
    case ClickAction::kNone:
      break;
  }
  return false;
}

LRESULT FrmMain::OnControlColour(HDC dc, HWND window) {
  const Control* control = Find(window);
  if (control && control->spec->fore_colour) {
    const Rgb colour = *control->spec->fore_colour;
    ::SetTextColor(dc, RGB(colour.red, colour.green, colour.blue));
  }
  if (control && control->letter_spacing) {
    ::SetTextCharacterExtra(dc, control->letter_spacing);
  }
  if (control && control->back_brush) {
    const Rgb colour = *control->spec->back_colour;
    ::SetBkColor(dc, RGB(colour.red, colour.green, colour.blue));
    return reinterpret_cast<LRESULT>(control->back_brush);
  }
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

OkRequest FrmMain::Request() {
  const auto checked = [this](const char* name) {
    return ::SendMessageW(Find(name)->window, BM_GETCHECK, 0, 0);
  };
  return {
      .from_extension = WideToUtf8(TextOf(Find("TxtFromHouzui")->window)),
      .to_extension = WideToUtf8(TextOf(Find("TxtHouZui")->window)),
      .strip_surplus = checked("Chk") == BST_CHECKED,
      .include_subfolders = checked("Chck") != BST_UNCHECKED,
  };
}

RunWithWatcher FrmMain::Watched() {
  return [this](const auto& run) {
    RunProgress progress(window_, ProgressTiming{});
    run(progress.Observer(), [&progress] { progress.Pause(); });
  };
}

void FrmMain::RunConversion() {
  Watched()(
      [this, request = Request()](const ConversionObserver& observer,
                                  const std::function<void()>& before_message) {
        handlers_.Ok(request, observer, before_message);
      });
}

// Dropped on the target field, a folder becomes the target; anywhere else,
// the source. While a run or a box holds the window, nothing may change.
void FrmMain::DropFiles(HDROP drop) {
  const std::string folder = DroppedFolder(drop);
  POINT at{};
  ::DragQueryPoint(drop, &at);
  ::DragFinish(drop);
  if (folder.empty() || !::IsWindowEnabled(window_)) return;
  RECT field{};
  ::GetWindowRect(Find("LblTargetFolder")->window, &field);
  ::MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&field), 2);
  if (::PtInRect(&field, at)) {
    handlers_.DropTargetFolder(folder);
  } else {
    handlers_.DropFromFolder(folder);
  }
}

void FrmMain::ShowFolders(const std::string& from, const std::string& target) {
  for (const auto& [name, path] : {std::pair{"LblFromFolder", &from},
                                   std::pair{"LblTargetFolder", &target}}) {
    const Control& control = *Find(name);
    const HWND field = control.window;
    std::wstring text = Utf8ToWide(*path);
    ::SetWindowTextW(field, text.c_str());
    // A path may hold characters the table's face lacks.
    ::SendMessageW(field, WM_SETFONT,
                   reinterpret_cast<WPARAM>(FontFor(control.spec->font, text)),
                   TRUE);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(field);
    tool.lpszText = text.data();
    ::SendMessageW(tooltips_, TTM_UPDATETIPTEXTW, 0,
                   reinterpret_cast<LPARAM>(&tool));
  }
}

void FrmMain::LoadPanel(const ControlSpec& panel, const std::string& address) {
  Control* control = Find(panel.name);
  control->placed = panel.load_rect.value_or(panel.rect);
  WebPanel& web = *panels_.at(&panel);
  web.Place(PixelRect(*control));
  if (!address.empty()) web.Start(address);
}

}  // namespace batchext::win32
