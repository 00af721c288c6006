// Works the Win32 window from a separate program, as a user would, and
// compares what it shows with the shared table of controls.

#include <gtest/gtest.h>
#include <windows.h>
// Both need windows.h first.
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <vector>

#include "fs/win_support.h"
#include "tests/ui/win32/window_driver.h"
#include "ui/form/form_layout.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/details_report.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/summary_box.h"

namespace batchext::testing {
namespace {

namespace fs = std::filesystem;

std::wstring WindowProgram() { return Utf8ToWide(BATCHEXT_WINDOW_PATH); }

std::string ClipboardText() {
  std::string text;
  if (!::OpenClipboard(nullptr)) return text;
  if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    text = WideToUtf8(static_cast<const wchar_t*>(::GlobalLock(data)));
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

RECT ExpectedPixels(const ControlSpec& spec, int dpi) {
  TwipRect rect = spec.load_rect.value_or(spec.rect);
  if (const ControlSpec* parent = FindControl(spec.parent)) {
    rect.left += parent->rect.left;
    rect.top += parent->rect.top;
  }
  const auto px = [dpi](int twips) { return ::MulDiv(twips, dpi, 1440); };
  return {px(rect.left), px(rect.top), px(rect.right()), px(rect.bottom())};
}

TEST(Win32ResourcesTest, CarryTheHandCursorIconsManifestAndVersion) {
  const std::wstring program = WindowProgram();
  const HMODULE exe =
      ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  const auto hand = static_cast<HCURSOR>(
      ::LoadImageW(exe, MAKEINTRESOURCEW(BATCHEXT_IDC_HAND), IMAGE_CURSOR, 0, 0,
                   LR_DEFAULTSIZE));
  ASSERT_NE(hand, nullptr);
  // Our own converter takes the hot spot from the picture's values line.
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(hand, &info));
  EXPECT_EQ(std::pair(info.xHotspot, info.yHotspot), std::pair(5ul, 0ul));
  EXPECT_NE(::LoadImageW(exe, L"IDI_ICON1", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE),
            nullptr);
  const HRSRC manifest =
      ::FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(
      static_cast<const char*>(::LockResource(::LoadResource(exe, manifest))),
      ::SizeofResource(exe, manifest));
  EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  ::FreeLibrary(exe);

  std::vector<char> block(::GetFileVersionInfoSizeW(program.c_str(), nullptr));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(
      program.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  // The Chinese texts survive only if the resource compiler reads UTF-8.
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(),
                               L"\\StringFileInfo\\080404b0\\FileDescription",
                               &value, &length));
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(value)),
            "用于批量修改文件的后缀名的小软件");
}

class FrmMainWin32Test : public ::testing::Test {
 protected:
  ~FrmMainWin32Test() override {
    if (source_.empty()) return;
    std::error_code ignored;
    fs::remove_all(source_, ignored);
    fs::remove_all(Target(), ignored);
  }

  // Makes a folder on the desktop, where the folder dialog can reach it, with
  // the files f0, f1, ..., and chooses it as the source through the dialog.
  void ChooseSource(const std::wstring& name, int files, const char* ext) {
    wchar_t desktop[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
    source_ = fs::path(desktop) / name;
    // What a test that stopped midway may have left.
    fs::remove_all(source_);
    fs::remove_all(Target());
    fs::create_directories(source_);
    for (int index = 0; index < files; ++index) {
      std::ofstream(source_ / ("f" + std::to_string(index) + ext)) << index;
    }
    window_.Click("CmdBrowseFromFolder");
    EXPECT_EQ(window_.ChooseInFolderDialog(source_.native()),
              "Norvane工作室欢迎您！\r请选择一个文件夹：");
    const std::string shown = WideToUtf8(source_.native());
    EXPECT_EQ(window_.Text(window_.Control("LblFromFolder")), shown);
    EXPECT_EQ(window_.Text(window_.Control("LblTargetFolder")), shown + "(2)");
  }

  fs::path Target() const { return source_.native() + L"(2)"; }
  int FilesInTarget() const {
    return static_cast<int>(
        std::distance(fs::directory_iterator(Target()), {}));
  }

  void ExpectBox(const char* text, const char* title) {
    const WindowDriver::MessageBoxSeen box = window_.TakeMessageBox();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, title);
    EXPECT_TRUE(box.has_icon) << text;
  }

  WindowDriver window_{WindowProgram()};
  fs::path source_;
};

// Started from a folder's menu in Explorer, the window opens on that folder
// as if it had been picked; what names no folder is let be.
TEST(FrmMainWin32StartTest, OpensOnTheFolderItIsGiven) {
  const fs::path folder = fs::temp_directory_path() / L"开始_Ж";
  fs::create_directories(folder);
  std::ofstream(folder / "f.doc") << "x";
  const std::string shown = WideToUtf8(folder.native());
  const struct {
    std::wstring arguments;
    std::string from;
  } starts[] = {
      {L"\"" + folder.native() + L"\\.\" ignored", shown},
      {L"\"" + (folder / "f.doc").native() + L"\"", ""},
  };
  for (const auto& start : starts) {
    WindowDriver window(WindowProgram(), start.arguments);
    EXPECT_EQ(window.Text(window.Control("LblFromFolder")), start.from);
    EXPECT_EQ(window.Text(window.Control("LblTargetFolder")),
              start.from.empty() ? "" : start.from + "(2)");
  }
  fs::remove_all(folder);
}

TEST_F(FrmMainWin32Test, ShowsEveryControlOfTheTableWhereItSays) {
  const HWND main = window_.main();
  const int dpi = static_cast<int>(::GetDpiForWindow(main));
  RECT client{};
  ::GetClientRect(main, &client);
  EXPECT_EQ(client.right, ::MulDiv(kClientWidthTwips, dpi, 1440));
  EXPECT_EQ(client.bottom, ::MulDiv(kClientHeightTwips, dpi, 1440));
  const LONG_PTR style = ::GetWindowLongPtrW(main, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX), 0);
  EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);
  EXPECT_EQ(window_.Text(main), kApplicationTitle);

  HWND tips = nullptr;
  do {
    tips = ::FindWindowExW(nullptr, tips, TOOLTIPS_CLASSW, nullptr);
  } while (tips && ::GetWindow(tips, GW_OWNER) != main);
  ASSERT_NE(tips, nullptr);
  // The folder fields' tips are their paths.
  EXPECT_EQ(::SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0),
            std::ranges::count_if(FormControls(), [](const ControlSpec& spec) {
              return *spec.tooltip != '\0' ||
                     spec.kind == ControlKind::kFolderField;
            }));

  const InfoLinks links = DefaultInfoLinks();
  for (const ControlSpec& spec : FormControls()) {
    SCOPED_TRACE(spec.name);
    const HWND control = window_.Control(spec.name);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(::IsWindowVisible(control));
    // A web panel carries the address that its page was started on.
    const std::string shown = spec.kind == ControlKind::kWebPanel
                                  ? AddressOf(spec.address, links)
                                  : CaptionOf(spec, links);
    EXPECT_EQ(window_.Text(control), shown);
    const RECT expected = ExpectedPixels(spec, dpi);
    RECT actual{};
    ::GetWindowRect(control, &actual);
    ::MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_NEAR(actual.left, expected.left, 1);
    EXPECT_NEAR(actual.top, expected.top, 1);
    EXPECT_NEAR(actual.right, expected.right, 1);
    EXPECT_NEAR(actual.bottom, expected.bottom, 1);
  }
}

// A web panel's stop is the page's own window inside it.
TEST_F(FrmMainWin32Test, TabMovesThroughTheControlsInTheTablesOrder) {
  std::vector<const ControlSpec*> stops;
  for (const ControlSpec& spec : FormControls()) {
    if (spec.tab_index >= 0) stops.push_back(&spec);
  }
  std::ranges::sort(stops, {}, &ControlSpec::tab_index);
  stops.push_back(stops.front());  // round again

  const auto focus_in = [this](HWND control) {
    const HWND focus = window_.Focus();
    return focus == control || ::IsChild(control, focus);
  };
  // The focus is set just after the window shows.
  WaitUntil([this] { return window_.Focus() != nullptr; });
  EXPECT_EQ(window_.Focus(), window_.Control(FirstTabStop().name));
  for (const ControlSpec* stop : stops) {
    const HWND expected = window_.Control(stop->name);
    const HWND from = window_.Focus();
    if (!focus_in(expected)) {
      ::PostMessageW(from, WM_KEYDOWN, VK_TAB, 0);
      WaitUntil([&] { return window_.Focus() != from; });
    }
    EXPECT_TRUE(focus_in(expected)) << stop->name;
  }
}

TEST_F(FrmMainWin32Test, ChecksTheRequestThenConvertsAFolder) {
  window_.Click("CmdOk");
  ExpectBox("请务必先选择来源文件夹以及执行后存储所用的目标文件夹",
            "选择文件夹");

  // A name outside every ANSI code page.
  ChooseSource(L"源_Ж_ū", 3, ".doc");
  std::ofstream(source_ / "other.pdf") << "x";
  window_.SetText("TxtFromHouzui", "doc");
  window_.SetText("TxtHouZui", "txt");
  window_.Click("CmdOk");
  ExpectBox("成功修改了3个文件的后缀名，失败0个文件", "操作结果");
  // Written where the window said: the engine's own tests name the files.
  EXPECT_EQ(FilesInTarget(), 3);
}

TEST_F(FrmMainWin32Test, CancelStopsALongRunAndCountsTruthfully) {
  constexpr int kFiles = 4000;
  ChooseSource(L"long_run", kFiles, ".dat");
  window_.Click("CmdOk");

  const HWND progress = window_.WaitForWindow(
      [](HWND window) { return ClassOf(window) == win32::kProgressClass; });
  ASSERT_NE(progress, nullptr) << "the run ended before the dialog showed";
  // Application-modal: only the dialog takes input.
  const HWND cancel = ::GetDlgItem(progress, win32::kProgressCancelId);
  EXPECT_FALSE(::IsWindowEnabled(window_.main()));
  EXPECT_TRUE(::IsWindowEnabled(progress));
  EXPECT_TRUE(::IsWindowEnabled(cancel));
  EXPECT_EQ(window_.Text(cancel), "取消");
  // The count comes beside the run; then the bar stops being busy.
  const HWND count_line =
      ::FindWindowExW(progress, nullptr, L"STATIC", nullptr);
  const HWND bar = ::FindWindowExW(progress, nullptr, PROGRESS_CLASSW, nullptr);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return window_.Text(count_line).find("/4000个文件") !=
               std::string::npos;
      },
      std::chrono::seconds(20)))
      << window_.Text(count_line);
  EXPECT_EQ(::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE, 0);
  window_.Click(cancel);

  const WindowDriver::MessageBoxSeen box = window_.TakeMessageBox();
  std::smatch counts;
  ASSERT_TRUE(std::regex_match(
      box.text, counts,
      std::regex("操作已取消，没有处理完全部文件。\\r?\\n"
                 "成功修改了(\\d+)个文件的后缀名，失败(\\d+)个文件")))
      << box.text;
  const int converted = std::stoi(counts[1]);
  EXPECT_GT(converted, 0);
  EXPECT_LT(converted, kFiles);
  EXPECT_EQ(counts[2], "0");
  EXPECT_EQ(FilesInTarget(), converted);
}

// The preview lists what OK would do, modal over the window; Esc closes it
// with nothing written, "开始批量修改" runs.
TEST_F(FrmMainWin32Test, PreviewListsTheRunThenStartsItOnRequest) {
  ChooseSource(L"预览_Ж", 2, ".doc");
  window_.SetText("TxtFromHouzui", "doc");
  const std::string in = WideToUtf8(source_.native());
  for (const bool start : {false, true}) {
    window_.Click("CmdPreview");
    const HWND preview = window_.WaitForWindow(
        [](HWND window) { return ClassOf(window) == win32::kPreviewClass; });
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(window_.Text(preview), "预览");
    EXPECT_FALSE(::IsWindowEnabled(window_.main()));
    EXPECT_TRUE(WaitUntil([&] { return ::IsChild(preview, window_.Focus()); }));
    EXPECT_EQ(
        window_.Text(::GetDlgItem(preview, win32::kPreviewCountsId)),
        "将修改2个文件的后缀名（新建2个，替换0个，不变0个），失败0个文件");
    const HWND list = ::GetDlgItem(preview, win32::kPreviewListId);
    ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    std::vector<std::string> rows;
    for (int row = 0; row < 2; ++row) {
      const std::vector<std::string> texts = window_.ListRow(list, row, 3);
      rows.push_back(texts[0] + " > " + texts[1] + " > " + texts[2]);
    }
    std::ranges::sort(rows);
    EXPECT_EQ(rows, (std::vector<std::string>{
                        in + "\\f0.doc > " + in + "(2)\\f0.txt > 新建",
                        in + "\\f1.doc > " + in + "(2)\\f1.txt > 新建"}));
    if (start) {
      window_.Click(::GetDlgItem(preview, win32::kPreviewStartId));
      ExpectBox("成功修改了2个文件的后缀名，失败0个文件", "操作结果");
    } else {
      ::PostMessageW(window_.Focus(), WM_KEYDOWN, VK_ESCAPE, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(preview); }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(window_.main()); }));
    EXPECT_EQ(fs::exists(Target()), start);
  }
  EXPECT_EQ(FilesInTarget(), 2);
}

// The failures open as a list that copies to the clipboard; Enter closes
// the report and the box, whatever button has the focus. "撤销" takes the
// run back and says what it took back.
TEST_F(FrmMainWin32Test, DetailsOpenAsAListAndUndoTakesARunBack) {
  ChooseSource(L"details", 3, ".doc");
  // A folder where f1.doc's copy would go.
  fs::create_directories(Target() / "f1.txt");
  window_.SetText("TxtFromHouzui", "doc");
  window_.Click("CmdOk");

  const HWND box = window_.WaitForDialogWith(win32::kSummaryTextId);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(window_.Text(::GetDlgItem(box, win32::kSummaryTextId)),
            "成功修改了2个文件的后缀名，失败1个文件");
  EXPECT_EQ(window_.Text(::GetDlgItem(box, win32::kSummaryUndoId)), "撤销");
  const HWND show = ::GetDlgItem(box, win32::kSummaryDetailsId);
  EXPECT_EQ(window_.Text(show), "显示详情...");
  window_.Click(show);
  const HWND report = window_.WaitForDialogWith(win32::kReportListId);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(window_.Text(report), "详细信息");
  EXPECT_NE(::GetWindowLongPtrW(report, GWL_STYLE) & WS_THICKFRAME, 0);
  const HWND list = ::GetDlgItem(report, win32::kReportListId);
  EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
  ::OpenClipboard(nullptr);
  ::EmptyClipboard();
  ::CloseClipboard();
  window_.Click(::GetDlgItem(report, win32::kReportCopyId));
  EXPECT_TRUE(WaitUntil([] { return !ClipboardText().empty(); }));
  const std::string line = ClipboardText();
  EXPECT_TRUE(
      line.starts_with(WideToUtf8((source_ / "f1.doc").native()) + "："))
      << line;

  // From the list to "复制", then Enter.
  window_.PressKey(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] {
    return window_.Focus() == ::GetDlgItem(report, win32::kReportCopyId);
  }));
  window_.PressKey(VK_RETURN);
  EXPECT_TRUE(WaitUntil([report] { return !::IsWindow(report); }));
  // Round to "撤销", then Enter: the box closes as OK would.
  const HWND undo = ::GetDlgItem(box, win32::kSummaryUndoId);
  EXPECT_TRUE(WaitUntil([&] {
    if (window_.Focus() == undo) return true;
    window_.PressKey(VK_TAB);
    return false;
  }));
  window_.PressKey(VK_RETURN);
  EXPECT_TRUE(WaitUntil([box] { return !::IsWindow(box); }));
  EXPECT_TRUE(fs::exists(Target() / "f0.txt"));

  window_.SetText("TxtHouZui", "bak");
  window_.Click("CmdOk");
  const HWND second = window_.WaitForDialogWith(win32::kSummaryUndoId);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(::GetDlgItem(second, win32::kSummaryDetailsId), nullptr);
  EXPECT_TRUE(fs::exists(Target() / "f2.bak"));
  window_.Click(::GetDlgItem(second, win32::kSummaryUndoId));
  EXPECT_TRUE(WaitUntil([second] { return !::IsWindow(second); }));
  ExpectBox(
      "删除了3个新建的文件，放回了0个被替换的文件，删除了0个文件夹，0项未撤销",
      "撤销结果");
  EXPECT_FALSE(fs::exists(Target() / "f2.bak"));
  EXPECT_TRUE(fs::exists(Target() / "f2.txt"));
}

// A folder dropped on the target field becomes the target; anywhere else,
// the source with its "(2)". Files and several items change nothing.
TEST_F(FrmMainWin32Test, TakesAFolderDroppedOnIt) {
  const fs::path root = fs::temp_directory_path() / L"拖放_Ж";
  fs::create_directories(root / "a");
  fs::create_directories(root / "b");
  std::ofstream(root / "f.doc") << "x";
  const auto centre = [this](const char* name) {
    RECT box{};
    ::GetWindowRect(window_.Control(name), &box);
    ::MapWindowPoints(HWND_DESKTOP, window_.main(),
                      reinterpret_cast<POINT*>(&box), 2);
    return POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  };
  const std::string a = WideToUtf8((root / "a").native());
  const std::string b = WideToUtf8((root / "b").native());
  const auto shows = [this](const char* name, const std::string& text) {
    return WaitUntil(
        [&] { return window_.Text(window_.Control(name)) == text; });
  };
  window_.DropFiles({(root / "a").native()}, centre("TxtHouZui"));
  EXPECT_TRUE(shows("LblFromFolder", a));
  EXPECT_TRUE(shows("LblTargetFolder", a + "(2)"));
  // Handled in turn: once b shows, the two before it were let be.
  for (const std::vector<std::wstring>& refused :
       {std::vector<std::wstring>{(root / "f.doc").native()},
        std::vector<std::wstring>{(root / "b").native(),
                                  (root / "a").native()}}) {
    window_.DropFiles(refused, centre("LblFromFolder"));
  }
  window_.DropFiles({(root / "b").native()}, centre("LblTargetFolder"));
  EXPECT_TRUE(shows("LblTargetFolder", b));
  EXPECT_EQ(window_.Text(window_.Control("LblFromFolder")), a);
  fs::remove_all(root);
}

}  // namespace
}  // namespace batchext::testing
