#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/form/form_handlers.h"
#include "ui/form/form_layout.h"
#include "ui/form/progress_tracker.h"
#include "ui/form/run_details.h"

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
    // clang-format on
};

TEST(FormHandlersTest, BrowseButtonsFollowThePicker) {
  for (const auto& c : kBrowseCases) {
    SCOPED_TRACE(c.clicks[0]);
    FakeSeams fakes;
    FormHandlers form(fakes.Seams(), kLinks);
    for (const char* click : c.clicks) {
      if (!click) break;
      fakes.answers.push_back(click + 1);
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
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(form.settings().FromFolder, c.from);
    EXPECT_EQ(form.settings().TargetFolder, c.target);
  }
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
  observer.on_file({"ok", "ok.txt", true, ""});
  observer.on_folder_failure({"d", "读不了", false});
  for (int i = 0; i < 1002; ++i) {
    observer.on_file({"f" + std::to_string(i), "", false, "原因"});
  }
  EXPECT_TRUE(observer.stop_requested());
  EXPECT_EQ(seen, 1003);
  const std::string text = details.Text();
  EXPECT_EQ(std::ranges::count(text, '\n'), 1001);
  EXPECT_TRUE(text.starts_with(
      "操作已取消，取消前已处理1003个文件\nd：读不了\nf0：原因\n"));
  EXPECT_TRUE(text.ends_with("\nf998：原因\n以及另外3个"));
}

// A run that ends on its own lists its failures alone, or nothing at all.
TEST(RunDetailsTest, ListsOnlyTheFailuresOfARunThatEndsOnItsOwn) {
  RunDetails details;
  const ConversionObserver observer = details.Watch({});
  observer.on_file({"a.doc", "a.txt", true, ""});
  EXPECT_FALSE(observer.stop_requested());
  EXPECT_EQ(details.Text(), "");
  observer.on_file({"a.pdf", "", false, "原因"});
  EXPECT_EQ(details.Text(), "a.pdf：原因");
}

// A short run shows no dialog; a long one shows it once and keeps it fresh.
TEST(ProgressTrackerTest, DialogComesOnlyAfterItsDelay) {
  for (const bool long_run : {false, true}) {
    ProgressTiming timing;
    if (long_run) timing = {std::chrono::milliseconds(0), {}};
    bool up = false;
    int shows = 0;
    int refreshes = 0;
    ProgressTracker tracker(timing, {[&] { return up; },
                                     [&] {
                                       ++shows;
                                       up = true;
                                     },
                                     [&] { ++refreshes; }});
    const ConversionObserver observer = tracker.Observer();
    for (int i = 0; i < 3; ++i) observer.on_file({});
    EXPECT_EQ(shows, long_run ? 1 : 0);
    EXPECT_EQ(refreshes, long_run ? 3 : 0);
    EXPECT_EQ(tracker.files_handled(), 3);
  }
}

}  // namespace
}  // namespace batchext
