#include "ui/win32/details_report.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fs/win_support.h"
#include "ui/form/run_texts.h"
#include "ui/win32/message_box.h"
#include "ui/win32/modal_dialog.h"

namespace batchext::win32 {
namespace {

// Puts `text` on the clipboard as Unicode text; false when it is held.
bool CopyToClipboard(HWND owner, const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
  ::GlobalUnlock(memory);
  if (!::OpenClipboard(owner)) {
    ::GlobalFree(memory);
    return false;
  }
  ::EmptyClipboard();
  // The clipboard owns the memory once it took it.
  if (!::SetClipboardData(CF_UNICODETEXT, memory)) ::GlobalFree(memory);
  ::CloseClipboard();
  return true;
}

// Answers "" on success, else the system's reason.
std::string WriteFile(const std::wstring& path, const std::string& bytes) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SystemErrorText(::GetLastError());
  DWORD written = 0;
  const bool whole =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                  &written, nullptr) &&
      written == bytes.size();
  const DWORD error = whole ? 0 : ::GetLastError();
  ::CloseHandle(file);
  return whole ? "" : SystemErrorText(error);
}

class DetailsReport : public ModalDialog {
 public:
  explicit DetailsReport(const Details& details) : details_(details) {
    rows_.reserve(details.rows.size());
    for (const DetailRow& row : details.rows) {
      rows_.emplace_back(Utf8ToWide(row.path), Utf8ToWide(row.reason));
    }
    if (details.unlisted > 0)
      below_ = Utf8ToWide(UnlistedLine(details.unlisted));
    if (!details.note.empty()) {
      below_ += (below_.empty() ? L"" : L"\r\n") + Utf8ToWide(details.note);
    }
  }

 private:
  SIZE OnInit() override {
    heading_ = AddChild(L"STATIC", Utf8ToWide(details_.heading),
                        SS_LEFT | SS_NOPREFIX, -1);
    // Virtual: the list asks for the rows it shows, however many there are.
    list_ = AddChild(
        WC_LISTVIEWW, L"",
        LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP,
        kReportListId);
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    const std::pair<const char*, int> columns[] = {
        {kPathColumnText, Px(420)}, {kReasonColumnText, Px(260)}};
    int index = 0;
    for (const auto& [caption, width] : columns) {
      std::wstring text = Utf8ToWide(caption);
      LVCOLUMNW column{};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = text.data();
      column.cx = width;
      ::SendMessageW(list_, LVM_INSERTCOLUMNW, index++,
                     reinterpret_cast<LPARAM>(&column));
    }
    ::SendMessageW(list_, LVM_SETITEMCOUNT, rows_.size(), 0);
    footer_ = AddChild(L"STATIC", below_, SS_LEFT | SS_NOPREFIX, -1);
    buttons_ = {
        AddChild(L"BUTTON", Utf8ToWide(kCopyButtonText),
                 BS_PUSHBUTTON | WS_TABSTOP, kReportCopyId),
        AddChild(L"BUTTON", Utf8ToWide(kSaveButtonText),
                 BS_PUSHBUTTON | WS_TABSTOP, kReportSaveId),
        AddChild(L"BUTTON", Utf8ToWide(kCloseButtonText),
                 BS_DEFPUSHBUTTON | WS_TABSTOP, IDCANCEL),
    };
    SetInitialFocus(list_);
    return {Px(720), Px(420)};
  }

  void OnSize(SIZE size) override {
    const int margin = Px(12);
    const int width = size.cx - 2 * margin;
    const int heading =
        details_.heading.empty() ? 0 : Measure(Heading(), width).cy + Px(6);
    const int footer = below_.empty() ? 0 : Measure(below_, width).cy + Px(6);
    const int button_top = size.cy - margin - Px(26);
    ::MoveWindow(heading_, margin, margin, width, heading, TRUE);
    const int list_top = margin + heading;
    const int list_bottom = button_top - Px(10) - footer;
    ::MoveWindow(list_, margin, list_top, width,
                 std::max<int>(list_bottom - list_top, Px(40)), TRUE);
    ::MoveWindow(footer_, margin, list_bottom + Px(4), width, footer, TRUE);
    int left = size.cx - margin;
    for (auto button = buttons_.rbegin(); button != buttons_.rend(); ++button) {
      left -= Px(88);
      ::MoveWindow(*button, left, button_top, Px(88), Px(26), TRUE);
      left -= Px(8);
    }
  }

  void OnCommand(int id) override {
    switch (id) {
      case kReportCopyId:
        CopyToClipboard(dialog(), Utf8ToWide(DetailsText(details_, "\r\n")));
        break;
      case kReportSaveId:
        Save();
        break;
      case IDOK:
      case IDCANCEL:
        End(IDCANCEL);
        break;
      default:
        break;
    }
  }

  LRESULT OnNotify(NMHDR& header) override {
    if (header.idFrom != kReportListId || header.code != LVN_GETDISPINFOW) {
      return 0;
    }
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
    const auto row = static_cast<std::size_t>(item.iItem);
    if ((item.mask & LVIF_TEXT) && row < rows_.size()) {
      const std::wstring& text =
          item.iSubItem == 0 ? rows_[row].first : rows_[row].second;
      item.pszText = const_cast<wchar_t*>(text.c_str());
    }
    return 0;
  }

  void Save() {
    std::array<wchar_t, 32768> path{};
    Utf8ToWide(kSaveFileName).copy(path.data(), path.size() - 1);
    const std::wstring title = Utf8ToWide(kSaveDialogTitle);
    // Each filter is a caption and a pattern, the list ended by two NULs.
    std::wstring filter = Utf8ToWide(kTextFilesFilter);
    filter += L'\0';
    filter += L"*.txt";
    filter += L'\0';
    OPENFILENAMEW request{};
    request.lStructSize = sizeof(request);
    request.hwndOwner = dialog();
    request.lpstrFilter = filter.c_str();
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    request.lpstrTitle = title.c_str();
    request.lpstrDefExt = L"txt";
    request.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!::GetSaveFileNameW(&request)) return;
    const std::string error =
        WriteFile(path.data(), DetailsFile(details_, true));
    if (!error.empty()) {
      const Message failed = SaveFailedMessage(WideToUtf8(path.data()), error);
      ShowMessageBox(dialog(), failed.text, failed.title, failed.style);
    }
  }

  std::wstring Heading() const { return Utf8ToWide(details_.heading); }

  const Details& details_;
  std::vector<std::pair<std::wstring, std::wstring>> rows_;
  std::wstring below_;
  HWND heading_ = nullptr;
  HWND list_ = nullptr;
  HWND footer_ = nullptr;
  std::vector<HWND> buttons_;
};

}  // namespace

void ShowDetailsReport(HWND owner, const Details& details) {
  DetailsReport report(details);
  report.Run(owner, kDetailsTitle, true);
}

}  // namespace batchext::win32
