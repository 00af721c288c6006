#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fs/path_ops.h"
#include "tests/support/temp_tree.h"
#include "ui/form/form_handlers.h"
#include "ui/form/form_layout.h"
#include "ui/form/preview_list.h"
#include "ui/form/progress_tracker.h"
#include "ui/form/run_details.h"
#include "ui/form/run_presenter.h"

namespace batchext {
namespace {

bool TakesInput(const ControlSpec& control) {
  using enum ControlKind;
  return control.kind == kBrowseButton || control.kind == kButton ||
         control.kind == kTextBox || control.kind == kCheckBox ||
         control.kind == kWebPanel;
}

TwipRect ClientArea(const ControlSpec& control) {
  if (!*control.parent) return {0, 0, kClientWidthTwips, kClientHeightTwips};
  return {0, 0, FindControl(control.parent)->rect.width,
          FindControl(control.parent)->rect.height};
}

int OverlapHeight(const TwipRect& a, const TwipRect& b) {
  const bool across = a.left < b.right() && b.left < a.right();
  return across ? std::min(a.bottom(), b.bottom()) - std::max(a.top, b.top) : 0;
}

TEST(FormLayoutTest, ControlsNestInsideTheirParents) {
  std::set<std::string> seen;
  for (const ControlSpec& control : FormControls()) {
    SCOPED_TRACE(control.name);
    EXPECT_TRUE(seen.insert(control.name).second) << "name used twice";
    if (*control.parent) {
      ASSERT_TRUE(seen.contains(control.parent)) << "parent comes later";
      EXPECT_EQ(FindControl(control.parent)->kind, ControlKind::kFrame);
    }
    const TwipRect area = ClientArea(control);
    EXPECT_GE(control.rect.left, 0);
    EXPECT_GE(control.rect.top, 0);
    EXPECT_LE(control.rect.right(), area.width);
    EXPECT_LE(control.rect.bottom(), area.height);
  }
}

// Check boxes draw their text centred, so neighbours may share a sliver.
TEST(FormLayoutTest, InputControlsDoNotCoverEachOther) {
  const auto controls = FormControls();
  for (auto a = controls.begin(); a != controls.end(); ++a) {
    for (auto b = a + 1; b != controls.end(); ++b) {
      if (!TakesInput(*a) || !TakesInput(*b)) continue;
      if (std::string(a->parent) != b->parent) continue;
      const int lower = std::min(a->rect.height, b->rect.height);
      EXPECT_LT(OverlapHeight(a->rect, b->rect), lower / 4)
          << a->name << " and " << b->name;
    }
  }
}

// Every control that takes input is a tab stop, each stop once, from 0 on.
TEST(FormLayoutTest, TabStopsCoverTheInputsInOneRun) {
  std::vector<int> stops;
  for (const ControlSpec& control : FormControls()) {
    EXPECT_EQ(control.tab_index >= 0, TakesInput(control)) << control.name;
    if (control.tab_index >= 0) stops.push_back(control.tab_index);
  }
  std::ranges::sort(stops);
  for (int i = 0; i < int(stops.size()); ++i) EXPECT_EQ(stops[i], i);
  EXPECT_STREQ(FirstTabStop().name, "CmdBrowseFromFolder");
}

// The preview button comes right after OK; the others keep their order.
TEST(FormLayoutTest, PreviewJoinsTheTabOrderAfterOk) {
  std::vector<const ControlSpec*> stops;
  for (const ControlSpec& control : FormControls()) {
    if (control.tab_index >= 0) stops.push_back(&control);
  }
  std::ranges::sort(stops, {}, &ControlSpec::tab_index);
  std::vector<std::string> names;
  for (const ControlSpec* stop : stops) names.push_back(stop->name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "CmdBrowseFromFolder", "CmdBrowseTargetFolder",
                       "TxtHouZui", "CmdOk", "CmdPreview", "TxtFromHouzui",
                       "Scriptlet1", "Scriptlet2", "Chk", "Chck"}));
}

// Stand-ins for the seams, recording what the handlers ask for.
struct FakeSeams {
  FormSeams Seams() {
    return {
        .pick_folder =
            [this] {
              if (answers.empty()) throw std::logic_error("no answer");
              const std::string answer = answers.front();
              answers.pop_front();
              if (answer == "<throw>") throw std::runtime_error("failed");
              return answer;
            },
        .show =
            [this](const std::string& text, const std::string& title,
                   MessageStyle style) {
              calls.push_back(title + "|" + text + "|" +
                              std::to_string(static_cast<int>(style)));
            },
        .open_link = nullptr,
        .show_folders =
            [this](const std::string& from, const std::string& target) {
              calls.push_back("folders " + from + " " + target);
            },
        .set_checked =
            [this](const ControlSpec& option, bool checked) {
              calls.push_back(std::string(option.name) +
                              (checked ? " ticked" : " cleared"));
            },
        .load_panel =
            [this](const ControlSpec& panel, const std::string& address) {
              calls.push_back(std::string(panel.name) + " " + address);
            },
    };
  }

  std::deque<std::string> answers;  // "<throw>" makes the picker fail
  std::vector<std::string> calls;
};

const InfoLinks kLinks{"", "", "https://panel.example/1", "", ""};

TEST(FormHandlersTest, LoadClearsTheOptionsAndStartsThePanelsLastFirst) {
  FakeSeams fakes;
  FormHandlers form(fakes.Seams(), kLinks);
  form.Load();
  EXPECT_EQ(fakes.calls, (std::vector<std::string>{
                             "Chck cleared", "Chk cleared", "Scriptlet2 ",
                             "Scriptlet1 " + kLinks.panel1}));
}

// Each "/" stands for the root of this system's absolute paths.
std::string Rooted(const std::string& text) {
  const std::string root = PreferredSeparator() == '\\' ? "C:\\" : "/";
  std::string rooted;
  for (const char c : text) rooted += c == '/' ? root : std::string(1, c);
  return rooted;
}

// 'F' or 'T' presses a browse button, the picker answering the rest.
constexpr struct {
  const char* clicks[4];
  const char* from;
  const char* target;
  const char* calls;
} kBrowseCases[] = {
    // clang-format off
    {{"T/out"}, "", "/out", "folders  /out"},
    {{"T/out", "F/in"}, "/in", "/in(2)", "folders  /out;folders /in /in(2)"},
    {{"F/in", "T/out"}, "/in", "/out", "folders /in /in(2);folders /in /out"},
    // Cancel changes nothing, on either button.
    {{"F/in", "T/out", "F", "T"}, "/in", "/out", "folders /in /in(2);folders /in /out"},
    {{"F/in", "F<throw>"}, "/in", "/in(2)", "folders /in /in(2);无法操作|没有成功选择来源文件夹|48"},
    {{"F/in", "T<throw>"}, "/in", "/in(2)", "folders /in /in(2);无法操作|没有成功选择目标文件夹|48"},
    // A root keeps its separator; blanks around a pick go.
    {{"F/", "T /out  "}, "/", "/out", "folders / /(2);folders / /out"},
    // clang-format on
};

// Only a run that changed something is offered to be taken back; taking
// it back shows its own summary, with what it kept as rows, and leaves the
// target as it was apart from that.
TEST(FormHandlersTest, ASummaryOffersToTakeBackARunThatChangedSomething) {
  testing::TempTree tree;
  tree.Write("in/a.doc", "a");
  tree.Write("in/b.doc", "b");
  tree.Write("out/keep.me", "not the run's");
  FakeSeams fakes;
  FormSeams seams = fakes.Seams();
  std::vector<std::string> summaries;
  seams.show_summary = [&](const std::string& text, const std::string& title,
                           MessageStyle, const Details& details,
                           bool offer_undo) {
    summaries.push_back(title + "|" + text + "|" + DetailsText(details) +
                        (offer_undo ? "|撤销" : ""));
    if (offer_undo) tree.Write("out/b.txt", "changed since");
    return offer_undo;
  };
  seams.journal_folder = tree.Path("state");
  FormHandlers form(std::move(seams), kLinks);
  form.DropFromFolder(tree.Path("in"));
  form.DropTargetFolder(tree.Path("out"));
  form.Ok({"doc", "txt", false, false});
  form.Ok({"xls", "txt", false, false});
  EXPECT_EQ(
      summaries,
      (std::vector<std::string>{
          "操作结果|成功修改了2个文件的后缀名，失败0个文件||撤销",
          "撤销结果|删除了1个新建的文件，放回了0个被替换的文件，"
          "删除了0个文件夹，1项未撤销|" +
              tree.Path("out/b.txt") + "：运行之后已被修改，没有删除或覆盖",
          "操作结果|成功修改了0个文件的后缀名，失败0个文件|"}));
  EXPECT_EQ(tree.Entries("out"),
            (std::vector<std::string>{"b.txt", "keep.me"}));
}

TEST(FormHandlersTest, BrowseButtonsFollowThePicker) {
  for (const auto& c : kBrowseCases) {
    SCOPED_TRACE(c.clicks[0]);
    FakeSeams fakes;
    FormHandlers form(fakes.Seams(), kLinks);
    for (const char* click : c.clicks) {
      if (!click) break;
      fakes.answers.push_back(Rooted(click + 1));
      if (*click == 'F') {
        form.BrowseFromFolder();
      } else {
        form.BrowseTargetFolder();
      }
    }
    std::string calls;
    for (const std::string& call : fakes.calls) {
      calls += (calls.empty() ? "" : ";") + call;
    }
    EXPECT_EQ(calls, Rooted(c.calls));
    EXPECT_EQ(form.settings().FromFolder.text(), Rooted(c.from));
    EXPECT_EQ(form.settings().TargetFolder.text(), Rooted(c.target));
  }
}

FileOutcome Outcome(const std::string& source, CopyStatus status,
                    const std::string& system_error = "") {
  return {.source_folder = ChainedPath::Root(""),
          .name = source,
          .target_folder = ChainedPath::Root(""),
          .new_name = "",
          .status = status,
          .system_error = system_error};
}

FolderFailure Failure(const std::string& path, FolderError error,
                      const std::string& system_error = "") {
  return {.path = path,
          .error = error,
          .system_error = system_error,
          .in_target = false,
          .chosen = false};
}

// The cancellation first, then a thousand failures and a count of the rest;
// the run's own watcher still sees every file and answers every stop.
TEST(RunDetailsTest, ListsAThousandFailuresAfterTheCancellation) {
  RunDetails details;
  int seen = 0;
  ConversionObserver inner;
  inner.on_file = [&](const FileOutcome&) { ++seen; };
  inner.stop_requested = [] { return true; };
  const ConversionObserver observer = details.Watch(inner);
  observer.on_file(Outcome("ok", CopyStatus::kCopied));
  observer.on_folder_failure(Failure("d", FolderError::kNotFolder));
  for (int i = 0; i < 1002; ++i) {
    observer.on_file(
        Outcome("f" + std::to_string(i), CopyStatus::kSourceMissing));
  }
  EXPECT_TRUE(observer.stop_requested());
  EXPECT_EQ(seen, 1003);
  const Details collected = details.Collected();
  EXPECT_EQ(collected.heading, "操作已取消，取消前已处理1003个文件");
  ASSERT_EQ(collected.rows.size(), 1000u);
  EXPECT_EQ(collected.rows[0].path + "|" + collected.rows[0].reason,
            "d|这不是文件夹");
  EXPECT_EQ(collected.rows[999].path + "|" + collected.rows[999].reason,
            "f998|来源文件已不存在");
  EXPECT_EQ(collected.unlisted, 3);
}

// A run that ends on its own lists its failures alone, or nothing at all.
TEST(RunDetailsTest, ListsOnlyTheFailuresOfARunThatEndsOnItsOwn) {
  RunDetails details;
  const ConversionObserver observer = details.Watch({});
  observer.on_file(Outcome("a.doc", CopyStatus::kSameFile));
  EXPECT_FALSE(observer.stop_requested());
  EXPECT_TRUE(details.Collected().empty());
  observer.on_file(Outcome("a.pdf", CopyStatus::kSystemError, "磁盘已满"));
  EXPECT_EQ(DetailsText(details.Collected()), "a.pdf：系统提示：磁盘已满");
}

// What "复制" puts on the clipboard and "保存..." writes: every line of
// the report in its order; a file ends its last line, on Windows in CRLF
// after a byte-order mark.
TEST(RunDetailsTest, CopyAndSaveCarryEveryLineOfTheReport) {
  const Details full{.heading = "操作已取消",
                     .rows = {{.path = "/a b/c.doc", .reason = "原因：一"},
                              {.path = "d", .reason = "二"}},
                     .unlisted = 7,
                     .note = "无法记录\n之后不能撤销"};
  const Details one_row{.heading = "",
                        .rows = {{.path = "e", .reason = "三"}},
                        .unlisted = 0,
                        .note = ""};
  const struct {
    const Details& details;
    std::string text, file, windows_file;
  } cases[] = {
      {full,
       "操作已取消\n/a b/c.doc：原因：一\nd：二\n以及另外7个\n无法记录\n"
       "之后不能撤销",
       "操作已取消\n/a b/c.doc：原因：一\nd：二\n以及另外7个\n无法记录\n"
       "之后不能撤销\n",
       "\xEF\xBB\xBF操作已取消\r\n/a b/c.doc：原因：一\r\nd：二\r\n"
       "以及另外7个\r\n无法记录\r\n之后不能撤销\r\n"},
      {one_row, "e：三", "e：三\n",
       "\xEF\xBB\xBF"
       "e：三\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DetailsText(c.details), c.text);
    EXPECT_EQ(DetailsFile(c.details, false), c.file);
    EXPECT_EQ(DetailsFile(c.details, true), c.windows_file);
  }
}

std::string Box(const std::string& text, const std::string& title,
                MessageStyle style) {
  return title + "|" + text + "|" + std::to_string(static_cast<int>(style));
}

// Refused before either folder is looked at, so neither need exist.
TEST(RunPresenterTest, EachRefusalShowsItsOneBoxAndNoSummary) {
  const std::string in = Rooted("/in");
  const std::string out = Rooted("/out");
  const struct {
    std::string from_folder, from, to;
    Refusal refusal;
    std::string box;
  } cases[] = {
      {"  ", "doc", "txt", Refusal::kNoFolders,
       "选择文件夹|请务必先选择来源文件夹以及执行后存储所用的目标文件夹|16"},
      {in, "doc", " ", Refusal::kNoToExt,
       "参数设置不全|你没有指定转换后的文件的后缀名。|48"},
      {in, " * ", "", Refusal::kNoToExt,
       "参数设置不全|你没有指定转换后的文件的后缀名。|48"},
      {in, "", "*", Refusal::kSameExt,
       "参数设置错误|原来的后缀名与转换的后缀名一样。|48"},
      {in, "*", "a/b", Refusal::kBadToExt,
       "参数设置错误|转换后的后缀名中含有文件名中不能使用的字符。|48"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    ConversionSettings settings;
    settings.FromFolder = FolderPath::Typed(c.from_folder);
    settings.TargetFolder = FolderPath::Typed(out);
    std::vector<std::string> shown;
    const ConversionReport report =
        StartConversion(settings, c.from, c.to,
                        {.show =
                             [&](const std::string& text,
                                 const std::string& title, MessageStyle style) {
                               shown.push_back(Box(text, title, style));
                             },
                         .show_summary =
                             [&](const Message&, const ConversionReport&) {
                               shown.push_back("summary");
                             }});
    EXPECT_EQ(report.refusal, c.refusal);
    EXPECT_EQ(shown, std::vector<std::string>{c.box});
  }
}

// A target folder that cannot be made is shown where the walk meets it,
// before the run's own watcher hears of it, whatever the jobs; the summary
// closes the run, through its own hook when one is given.
TEST(RunPresenterTest, TargetFolderBoxComesAtItsPlaceInTheWalk) {
  testing::TempTree tree;
  tree.Write("in/a.doc", "a");
  tree.Write("in/blocked/b.doc", "b");
  tree.Write("in/c/d.doc", "d");
  tree.Write("out/blocked", "a file where a folder should go");
  ConversionSettings settings;
  settings.FromFolder = FolderPath::Typed(tree.Path("in"));
  settings.TargetFolder = FolderPath::Typed(tree.Path("out"));
  settings.IncludeSubfolders = true;
  const auto name = [](const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_not_of("/\\") + 1);
    return folder.substr(folder.find_last_of("/\\") + 1);
  };
  std::vector<std::string> events;
  ConversionObserver observer;
  observer.on_file = [&](const FileOutcome& o) {
    events.push_back(name(o.source()));
  };
  observer.on_folder_failure = [&](const FolderFailure& f) {
    events.push_back("failed " + name(f.path));
  };
  const ShowMessage show = [&](const std::string& text,
                               const std::string& title, MessageStyle style) {
    events.push_back(Box(text, title, style));
  };
  const std::string summary =
      "操作结果|成功修改了2个文件的后缀名，失败0个文件|64";
  const std::vector<std::string> walk = {
      "a.doc", "错误|无法向目标文件夹中写入修改后的文件夹|16", "failed blocked",
      "d.doc"};
  const auto with = [&](const std::string& last) {
    std::vector<std::string> expected = walk;
    if (!last.empty()) expected.push_back(last);
    return expected;
  };
  const ShowSummary apart = [&](const Message& m, const ConversionReport& r) {
    events.push_back("apart " + Box(m.text, m.title, m.style) + " " +
                     std::to_string(r.succeeded));
  };
  for (const RunOptions& options :
       {RunOptions{.jobs = 1}, RunOptions{.jobs = 4}}) {
    SCOPED_TRACE(options.jobs);
    events.clear();
    StartConversion(settings, "doc", "txt", {.show = show}, observer, options);
    EXPECT_EQ(events, with(summary));
    events.clear();
    StartConversion(settings, "doc", "txt",
                    {.show = show, .show_summary = apart}, observer, options);
    EXPECT_EQ(events, with("apart " + summary + " 2"));
    events.clear();
    ConvertFolder(settings, settings.FromFolder, settings.TargetFolder, show,
                  observer, options);
    EXPECT_EQ(events, with(""));
  }
}

// A cancelled run and a source that could not be read never look like a
// finished run.
TEST(RunPresenterTest, CancelledOrUnreadableRunsSayWhatHappened) {
  testing::TempTree tree;
  tree.Write("in/a.doc", "a");
  tree.Write("in/b.doc", "b");
  const struct {
    const char* source;
    bool cancel;
    std::string box;
  } cases[] = {
      {"in", true,
       "操作结果|操作已取消，没有处理完全部文件。\n"
       "成功修改了1个文件的后缀名，失败0个文件|48"},
      // The system's reason follows.
      {"missing", false,
       "错误|无法读取来源文件夹，什么也没有做：" + tree.Path("missing") +
           "\n系统提示："},
  };
  for (const auto& c : cases) {
    ConversionSettings settings;
    settings.FromFolder = FolderPath::Typed(tree.Path(c.source));
    const std::string out = "out-" + std::string(c.source);
    settings.TargetFolder = FolderPath::Typed(tree.Path(out));
    int files = 0;
    ConversionObserver observer;
    observer.on_file = [&](const FileOutcome&) { ++files; };
    observer.stop_requested = [&] { return c.cancel && files == 1; };
    std::vector<std::string> shown;
    StartConversion(settings, "doc", "txt",
                    {.show =
                         [&](const std::string& text, const std::string& title,
                             MessageStyle style) {
                           shown.push_back(Box(text, title, style));
                         }},
                    observer, RunOptions{.jobs = 1});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].starts_with(c.box)) << shown[0];
    EXPECT_TRUE(shown[0].ends_with(c.cancel ? "|48" : "|16")) << shown[0];
    EXPECT_EQ(tree.Exists(out), c.cancel);
  }
}

// The words of the failures no run here can easily bring about.
TEST(RunTextsTest, ReasonsAreTheUsersWords) {
  const std::pair<CopyStatus, std::string> files[] = {
      {CopyStatus::kWouldReplace, ""},
      {CopyStatus::kSourceNotRegularFile, "来源不是普通文件"},
      {CopyStatus::kDestinationReadOnly, "目标文件是只读的，没有覆盖"},
      {CopyStatus::kDestinationReserved,
       "本次已有另一个文件转换为同一个目标文件，没有覆盖"},
      {CopyStatus::kDestinationNameNotAllowed,
       "目标文件名在这个系统上不能使用"},
      {CopyStatus::kStopped, "操作已取消，没有写入"},
      {CopyStatus::kSystemError, "系统提示：拒绝访问。"},
  };
  for (const auto& [status, reason] : files) {
    EXPECT_EQ(FailureReason(Outcome("", status, "拒绝访问。")), reason);
  }
  const std::pair<FolderError, std::string> folders[] = {
      {FolderError::kLink, "这是一个链接，没有跟随"},
      {FolderError::kNameNotAllowed, "文件夹名在这个系统上不能使用"},
      {FolderError::kSystem, "系统提示：拒绝访问。"},
  };
  for (const auto& [error, reason] : folders) {
    EXPECT_EQ(FolderFailureReason(Failure("", error, "拒绝访问。")), reason);
  }
}

// A short run shows no dialog; a long one shows it once and keeps it fresh.
TEST(ProgressTrackerTest, CountLineTellsTheShareAndTimeLeftOnceKnown) {
  using std::chrono::seconds;
  const std::string kLine = "正在修改文件的后缀名，已处理";
  const struct {
    long long done;
    std::optional<long long> total;
    std::optional<seconds> left;
    std::string line;
  } cases[] = {
      {5, std::nullopt, std::nullopt, "5个文件"},
      {5, 200, std::nullopt, "5/200个文件（2%）"},
      {100, 200, seconds(80), "100/200个文件（50%），预计还需1分20秒"},
      {9, 10, seconds(3720), "9/10个文件（90%），预计还需1小时2分"},
      {0, 0, std::nullopt, "0/0个文件（100%）"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressCountLine(c.done, c.total, c.left), kLine + c.line);
  }
}

TEST(ProgressTrackerTest, DialogComesOnlyAfterItsDelay) {
  for (const bool long_run : {false, true}) {
    ProgressTiming timing;
    if (long_run) timing = {std::chrono::milliseconds(0), {}};
    bool up = false;
    int shows = 0;
    // The count as each redraw shows it, the file just told included.
    std::vector<long long> shown;
    ProgressTracker* watched = nullptr;
    ProgressTracker tracker(
        timing, {[&] { return up; },
                 [&] {
                   ++shows;
                   up = true;
                 },
                 [&] { shown.push_back(watched->files_handled()); }});
    watched = &tracker;
    const ConversionObserver observer = tracker.Observer();
    for (int i = 0; i < 3; ++i) observer.on_file({});
    EXPECT_EQ(shows, long_run ? 1 : 0);
    const std::vector<long long> expected = {1, 2, 3};
    EXPECT_EQ(shown, long_run ? expected : std::vector<long long>());
    EXPECT_EQ(tracker.files_handled(), 3);
  }
}

// Every row "SOURCE > DESTINATION > RESULT" of a list, paths under `root`
// without it, sorted: the order of a folder's listing is the system's.
std::vector<std::string> Rows(const PreviewList& list,
                              const std::string& root) {
  std::vector<std::string> rows;
  for (std::size_t row = 0; row < list.size(); ++row) {
    std::string line;
    for (const auto column :
         {PreviewList::Column::kSource, PreviewList::Column::kDestination,
          PreviewList::Column::kResult}) {
      std::string text = list.Text(row, column);
      if (text.starts_with(root)) text = text.substr(root.size() + 1);
      std::ranges::replace(text, '\\', '/');
      line += (line.empty() ? "" : " > ") + text;
    }
    rows.push_back(line);
  }
  std::ranges::sort(rows);
  return rows;
}

// The list tells each file's fate as the run words it, and a cancelled
// preview says so; "开始批量修改" runs with a watcher of its own, "关闭"
// leaves the disk as it was.
TEST(FormHandlersTest, PreviewListsWhatARunWouldDoAndRunsOnRequest) {
  const struct {
    const char* target;
    const char* from;
    bool start;
    std::vector<std::string> rows;
    const char* counts;
    bool cancel = false;
  } cases[] = {
      {"out",
       "doc",
       false,
       {"in/a.doc > out/a.txt > 新建", "in/b.doc > out/b.txt > 替换"},
       "将修改2个文件的后缀名（新建1个，替换1个，不变0个），失败0个文件"},
      // In place: b.txt is its own destination, and b.doc may not replace it.
      {"in",
       "*",
       true,
       {"in/a.doc > in/a.txt > 新建",
        "in/b.doc > in/b.txt > 失败：目标文件是来源文件夹中的文件，没有覆盖",
        "in/b.txt > in/b.txt > 不变"},
       "将修改2个文件的后缀名（新建1个，替换0个，不变1个），失败1个文件"},
      {"out",
       "doc",
       false,
       {},
       "预览已取消，只列出了取消前看过的文件。\n"
       "将修改0个文件的后缀名（新建0个，替换0个，不变0个），失败0个文件",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.counts);
    testing::TempTree tree;
    tree.Write("in/a.doc", "a");
    tree.Write("in/b.doc", "b");
    tree.Write(c.target + std::string("/b.txt"), "old");
    const std::vector<std::string> before = tree.Entries();
    FakeSeams fakes;
    FormSeams seams = fakes.Seams();
    std::vector<std::string> rows;
    std::string counts;
    seams.show_preview = [&](const PreviewList& list) {
      rows = Rows(list, tree.Path());
      counts = list.CountsText();
      return c.start;
    };
    FormHandlers form(std::move(seams), kLinks);
    form.DropFromFolder(tree.Path("in"));
    form.DropTargetFolder(tree.Path(c.target));
    fakes.calls.clear();
    int watchers = 0;
    ConversionObserver cancelling;
    cancelling.stop_requested = [] { return true; };
    form.Preview({c.from, "txt", false, false}, [&](const auto& run) {
      ++watchers;
      run(c.cancel ? cancelling : ConversionObserver{}, {});
    });
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(watchers, c.start ? 2 : 1);
    if (c.start) {
      EXPECT_EQ(fakes.calls,
                std::vector<std::string>{
                    "操作结果|成功修改了2个文件的后缀名，失败1个文件|64"});
      EXPECT_EQ(tree.Read("in/a.txt"), "a");
    } else {
      EXPECT_EQ(fakes.calls, std::vector<std::string>{});
      EXPECT_EQ(tree.Entries(), before);
    }
  }
}

// The preview checks the request as OK does: the same one box, and no list.
TEST(FormHandlersTest, PreviewOfARefusedRequestShowsOnlyItsBox) {
  testing::TempTree tree;
  const struct {
    const char* from_folder;
    const char* to;
    std::string box;
  } cases[] = {
      {"", "txt",
       "选择文件夹|请务必先选择来源文件夹以及执行后存储所用的目标文件夹|16"},
      {"in", "", "参数设置不全|你没有指定转换后的文件的后缀名。|48"},
      {"missing", "txt",
       "错误|无法读取来源文件夹，什么也没有做：" + tree.Path("missing")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    tree.MakeFolder("in");
    FakeSeams fakes;
    FormSeams seams = fakes.Seams();
    bool listed = false;
    seams.show_preview = [&](const PreviewList&) { return listed = true; };
    FormHandlers form(std::move(seams), kLinks);
    if (*c.from_folder) form.DropFromFolder(tree.Path(c.from_folder));
    fakes.calls.clear();
    form.Preview({"doc", c.to, false, false});
    ASSERT_EQ(fakes.calls.size(), 1u);
    EXPECT_TRUE(fakes.calls[0].starts_with(c.box)) << fakes.calls[0];
    EXPECT_FALSE(listed);
    EXPECT_EQ(tree.Entries(), std::vector<std::string>{"in/"});
  }
}

}  // namespace
}  // namespace batchext
