#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cli/shown_path.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fs/error_text_posix.h"
#else
#include <windows.h>
#endif

namespace batchext {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::TempTree;
using Strings = std::vector<std::string>;

// "<relative>" stands for that path in the tree, as the program prints it.
std::string Expand(const TempTree& tree, std::string text) {
  for (auto open = text.find('<'); open != std::string::npos;
       open = text.find('<', open + 1)) {
    const auto close = text.find('>', open);
    text.replace(open, close - open + 1,
                 tree.Path(text.substr(open + 1, close - open - 1)));
  }
  return text;
}

ChildResult Cli(const TempTree& tree, Strings arguments,
                const ChildOptions& options = {}) {
  for (std::string& argument : arguments) argument = Expand(tree, argument);
  return testing::RunChild(BATCHEXT_CLI_PATH, arguments, options);
}

std::string Summary(int converted, int failed) {
  return "操作结果: 成功修改了" + std::to_string(converted) +
         "个文件的后缀名，失败" + std::to_string(failed) + "个文件\n";
}

// The whole stream when the expected text ends a line, else text within it.
void ExpectOutput(const std::string& text, const std::string& expected) {
  if (expected.empty() || expected.ends_with("\n")) {
    EXPECT_EQ(text, expected);
  } else {
    EXPECT_NE(text.find(expected), std::string::npos) << text;
  }
}

TEST(CliEndsAtOnceTest, HelpVersionRefusalsAndUsageErrorsWriteNothing) {
  const std::string kNoSource = "batchext-cli: 来源文件夹不存在：";
  const std::string kHelp = "\n用 batchext-cli --help 查看全部选项和参数。\n";
  const std::string kJobs =
      "batchext-cli: -j/--jobs 的值必须是 1 到 256 之间的十进制整数：";
  // Windows reads "C:\my dir\" out as C:\my dir" out, and says so.
  const bool windows = PreferredSeparator() == '\\';
  const std::string kQuote = windows ? "请去掉最后的 \"\\\"" : kNoSource;
  struct Case {
    Strings arguments;
    int exit_code;
    std::string out, err;
  };
  // The form's suite checks the box of every refusal; one shows how they end
  // here.
  // clang-format off
  const Case cases[] = {
      {{"-V"}, 0, "batchext 1.00\n", ""},
      {{"-h", "<src>"}, 0, "用法: batchext-cli [选项] 来源文件夹 [目标文件夹]", ""},
      {{}, 2, "", "batchext-cli: 缺少来源文件夹" + kHelp},
      {{"<src>", "<out>", "third"}, 2, "", "batchext-cli: 多余的参数：third" + kHelp},
      {{"--jobz", "<src>"}, 2, "", "batchext-cli: 没有这个选项：--jobz" + kHelp},
      {{"<src>", "-t"}, 2, "", "batchext-cli: 选项缺少值：--to" + kHelp},
      {{"-j", "0x4", "<src>"}, 2, "", kJobs + "0x4" + kHelp},
      {{"-j", "+4", "<src>"}, 2, "", kJobs + "+4" + kHelp},
      {{"-j", " 4", "<src>"}, 2, "", kJobs + " 4" + kHelp},
      {{"-j", "257", "<src>"}, 2, "", kJobs + "257" + kHelp},
      {{"<out>"}, 2, "", kNoSource + "<out>\n"},
      {{"<src/a.doc>", "<out>"}, 2, "", kNoSource + "<src/a.doc>\n"},
      {{"<src>\" out"}, 2, "", kQuote},
      {{"<src>\" out", "b", "c"}, 2, "", windows ? kQuote : "多余的参数：c"},
      // Blank values are the engine's to answer, not usage errors.
      {{"-t", "", "<src>", "<out>"}, 2, "", "参数设置不全: 你没有指定转换后的文件的后缀名。\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    TempTree tree;
    tree.Write("src/a.doc", "alpha");

    const ChildResult result = Cli(tree, c.arguments);

    EXPECT_EQ(result.exit_code, c.exit_code);
    ExpectOutput(result.out, c.out);
    ExpectOutput(result.err, Expand(tree, c.err));
    EXPECT_EQ(tree.Entries(), (Strings{"src/", "src/a.doc"}));
  }
}

TEST(CliRunTest, SummaryEndsStdoutVerboseListsCopiesTargetDefaultsBeside) {
  TempTree tree;
  for (const char* file : {"a.doc", "README", "照片 1.JPG", "sub/deep/x.doc"}) {
    tree.Write("照片 2024/" + std::string(file), file);
  }
  // By code point (upper case before lower, ASCII before CJK), files before
  // subfolders.
  const std::string listing =
      Expand(tree,
             "<照片 2024/README> -> <out/README.txt>\n"
             "<照片 2024/a.doc> -> <out/a.txt>\n"
             "<照片 2024/照片 1.JPG> -> <out/照片 1.txt>\n"
             "<照片 2024/sub/deep/x.doc> -> <out/sub/deep/x.txt>\n");
  struct Case {
    Strings arguments;
    std::string listing, target;
  };
  // Without TARGET, even after a trailing separator or typed spaces, "(2)"
  // follows the name.
  for (const Case& c :
       {Case{{"-v", "-r", "<照片 2024>", "<out>"}, listing, "out"},
        Case{{"-r", " <照片 2024>  "}, "", "照片 2024(2)"}}) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const ChildResult result = Cli(tree, c.arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, c.listing + Summary(4, 0));
    // A pipe is no terminal: no progress line either.
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(tree.Entries(c.target),
              (Strings{"README.txt", "a.txt", "sub/", "sub/deep/",
                       "sub/deep/x.txt", "照片 1.txt"}));
    EXPECT_EQ(tree.Read(c.target + "/照片 1.txt"), "照片 1.JPG");
    std::filesystem::remove_all(ToNativePath(tree.Path(c.target)));
  }
}

TEST(ShownPathTest, QuotesOnlyNamesThatCouldBreakALineOrDriveATerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"in/a b'\\c.doc", "in/a b'\\c.doc"},
      {"照片/ü.doc", "照片/ü.doc"},
      {"a\nb", "$'a\\nb'"},
      {"\x1b]0;x\a\t'\\", "$'\\033]0;x\\a\\t\\'\\\\'"},
      // No UTF-8: a stray byte, an overlong form, a surrogate.
      {"a\xff", "$'a\\377'"},
      {"\xc0\xaf", "$'\\300\\257'"},
      {"\xed\xa0\x80", "$'\\355\\240\\200'"},
      // A C1 control, which some terminals obey, and a cut character.
      {"\xc2\x9b"
       "2J",
       "$'\\302\\2332J'"},
      {"\xe7\x85", "$'\\347\\205'"},
  };
  for (const auto& [path, shown] : cases) EXPECT_EQ(ShownPath(path), shown);
}

TEST(CliRunTest, EachOptionInBothFormsReachesTheRun) {
  struct Case {
    Strings options;
    int converted;
    Strings target_entries;
  };
  // clang-format off
  const Case cases[] = {
      // Every file, to "txt", this folder only.
      {{}, 2, {"abc.abc.txt.txt", "data.2024.txt"}},
      {{"--recursive", "--strip"}, 4,
       {"abc.txt", "data.txt", "empty/", "sub/", "sub/deep/", "sub/deep/Photo.txt", "sub/notes.txt"}},
      {{"-f", "jpg", "--to", "png", "-r"}, 1, {"empty/", "sub/", "sub/deep/", "sub/deep/Photo.png"}},
      {{"--from", "CSV", "-t", "doc", "-s"}, 1, {"data.doc"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    TempTree tree;
    for (const char* file : {"abc.abc.txt.txt", "data.2024.csv",
                             "sub/notes.v1.doc", "sub/deep/Photo.JPG"}) {
      tree.Write("src/" + std::string(file), file);
    }
    tree.MakeFolder("src/empty");
    Strings arguments = c.options;
    arguments.insert(arguments.end(), {"<src>", "<out>"});

    const ChildResult result = Cli(tree, arguments);

    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, Summary(c.converted, 0));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(tree.Entries("out"), c.target_entries);
  }
}

TEST(CliMoveTest, MovesInPlaceOrIntoTheTargetAndUndoMovesBack) {
  for (const bool in_place : {true, false}) {
    SCOPED_TRACE(in_place);
    TempTree tree;
    // The run's journal goes nowhere another test's run could take it.
#ifdef _WIN32
    ::SetEnvironmentVariableW(L"LOCALAPPDATA",
                              ToNativePath(tree.Path("state")).c_str());
#else
    ::setenv("XDG_STATE_HOME", tree.Path("state").c_str(), 1);
#endif
    for (const char* file : {"a.doc", "c.pdf", "sub/b.doc"}) {
      tree.Write("src/" + std::string(file), file);
    }
    const ChildResult run = Cli(
        tree, {"-m", "-r", "-f", "doc", "<src>", in_place ? "<src>" : "<out>"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    if (in_place) {
      EXPECT_EQ(tree.Entries("src"),
                (Strings{"a.txt", "c.pdf", "sub/", "sub/b.txt"}));
    } else {
      EXPECT_EQ(tree.Entries("src"), (Strings{"c.pdf", "sub/"}));
      EXPECT_EQ(tree.Entries("out"), (Strings{"a.txt", "sub/", "sub/b.txt"}));
    }
    EXPECT_EQ(tree.Read(in_place ? "src/sub/b.txt" : "out/sub/b.txt"),
              "sub/b.doc");

    const ChildResult undo = Cli(tree, {"--undo"});
    EXPECT_EQ(undo.exit_code, 0) << undo.err;
    EXPECT_EQ(tree.Entries("src"),
              (Strings{"a.doc", "c.pdf", "sub/", "sub/b.doc"}));
    EXPECT_FALSE(tree.Exists("out"));
  }
}

TEST(CliFailureTest, FailedFilesAndFolderErrorsGoToStderrAndExitOne) {
  struct Case {
    Strings files, arguments;
    int converted, failed;
    std::string err;
  };
  // A blocked target folder's path is in the platform's own form.
  // clang-format off
  const Case cases[] = {
      {{"src/a.doc", "src/b.txt", "src/b.doc"}, {"-f", "doc", "<src>", "<src>"}, 1, 1,
       "失败：<src/b.doc> -> <src/b.txt>：目标文件是来源文件夹中的文件，没有覆盖\n"},
      {{"src/a.doc", "src/b.doc", "out/a.txt/keep"}, {"<src>", "<out>"}, 1, 1,
       "失败：<src/a.doc> -> <out/a.txt>：目标位置已有同名的文件夹或其他非普通文件\n"},
      {{"src/a.doc", "blocker"}, {"<src>", "<blocker>/out"}, 0, 0,
       "错误: 无法向目标文件夹中写入修改后的文件夹\n无法使用目标文件夹："},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    TempTree tree;
    // Each file holds its own path, so one overwritten shows.
    for (const std::string& file : c.files) tree.Write(file, file);

    const ChildResult result = Cli(tree, c.arguments);

    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, Summary(c.converted, c.failed));
    ExpectOutput(result.err, Expand(tree, c.err));
    for (const std::string& file : c.files) EXPECT_EQ(tree.Read(file), file);
  }
}

// Every file with its content: what a preview must leave as it was.
std::map<std::string, std::string> Snapshot(const TempTree& tree) {
  std::map<std::string, std::string> snapshot;
  for (const std::string& entry : tree.Entries()) {
    snapshot[entry] = entry.ends_with("/") ? "" : tree.Read(entry);
  }
  return snapshot;
}

TEST(CliPreviewTest, PredictsEveryOutcomeOfTheRunAndWritesNothing) {
  struct Case {
    Strings files, read_only, arguments;
  };
  // clang-format off
  const Case cases[] = {
      // Collisions at the top and in folders still to be made, a
      // replacement, a read-only destination.
      {{"src/a.doc", "src/a.pdf", "src/b.doc", "src/c.doc", "src/sub/deep/d.doc",
        "src/sub/deep/d.pdf", "out/b.txt", "out/c.txt"}, {"out/c.txt"}, {"<src>", "<out>"}},
      // In place: a source file is never replaced, one already so named is
      // its own copy.
      {{"src/a.doc", "src/b.doc", "src/b.txt", "src/sub/c.txt"}, {}, {"<src>", "<src>"}},
      // A missing target inside the source, which the run makes and skips.
      {{"src/a.doc", "src/sub/x.v1.doc", "src/sub/x.pdf"}, {}, {"-s", "<src>", "<src/new/out>"}},
  };
  // clang-format on
  std::set<std::string> labels_seen;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    TempTree tree;
    for (const std::string& file : c.files) tree.Write(file, file);
    for (const std::string& file : c.read_only) {
      std::filesystem::permissions(ToNativePath(tree.Path(file)),
                                   std::filesystem::perms::owner_read);
    }
    const auto before = Snapshot(tree);
    // Recursive both times: a preview, then the run told line by line.
    Strings arguments = c.arguments;
    arguments.insert(arguments.begin(), "-rn");
    const ChildResult preview = Cli(tree, arguments);
    EXPECT_EQ(Snapshot(tree), before);
    arguments.front() = "-rv";
    const ChildResult run = Cli(tree, arguments);

    // The run's own lines, as the preview foretells them.
    const auto relative = [&](std::string path) {
      path.erase(0, tree.Path().size() + 1);
      std::replace(path.begin(), path.end(), '\\', '/');
      return path;
    };
    std::string out, err, summary;
    std::istringstream lines(preview.out);
    for (std::string line; std::getline(lines, line);) {
      const auto arrow = line.find(" -> ");
      const auto colon = line.find("：", arrow);
      if (arrow == std::string::npos || colon == std::string::npos) {
        summary = line;
        continue;
      }
      // "SOURCE -> DESTINATION", then "：" and the label.
      const std::string copy = line.substr(0, colon);
      const std::string label = line.substr(colon + std::strlen("："));
      labels_seen.insert(label.substr(0, label.find("：")));
      SCOPED_TRACE(line);
      if (label.starts_with("失败：")) {
        err += "失败：" + copy + label.substr(std::strlen("失败")) + "\n";
        continue;
      }
      out += copy + "\n";
      const std::string target = relative(copy.substr(arrow + 4));
      EXPECT_EQ(before.contains(target), label != "新建");
      EXPECT_EQ(tree.Read(target), before.at(relative(copy.substr(0, arrow))));
    }
    const std::string kResult = "操作结果: ";
    const std::string run_summary = run.out.substr(run.out.rfind(kResult));
    EXPECT_EQ(summary + "\n", "操作结果（预览，未写入任何文件）: " +
                                  run_summary.substr(kResult.size()));
    EXPECT_EQ(preview.err, "");
    EXPECT_EQ(preview.exit_code, run.exit_code);
    EXPECT_EQ(run.out, out + run_summary);
    EXPECT_EQ(run.err, err);
  }
  EXPECT_EQ(labels_seen, (std::set<std::string>{"不变（就是来源文件本身）",
                                                "失败", "新建", "替换"}));
}

TEST(CliTerminalTest, ProgressLineOnlyOnATerminalAndNotWhenQuiet) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a pseudo-terminal for stderr, which the Windows "
                  "spawn helper does not provide";
#endif
  // Every other case shows that a pipe gets no progress line.
  ChildOptions terminal;
  terminal.stderr_is_terminal = true;
  for (const Strings& arguments :
       {Strings{"<src>", "<out>"}, Strings{"-q", "<src>", "<out>"}}) {
    const bool quiet = arguments.size() == 3;
    SCOPED_TRACE(quiet ? "quiet" : "");
    TempTree tree;
    tree.Write("src/a.doc", "alpha");
    ChildResult result;
    try {
      result = Cli(tree, arguments, terminal);
    } catch (const std::system_error& error) {
      GTEST_SKIP() << "no pseudo-terminal here: " << error.what();
    }

    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, Summary(1, 0));
    // The total may or may not be counted by the first draw.
    ExpectOutput(result.err, quiet ? "" : "已处理 0");
  }
}

TEST(CliInterruptTest, CtrlCTermAndHupStopBetweenFilesWithSummaryAndExit130) {
#ifdef _WIN32
  GTEST_SKIP() << "a console Ctrl-C cannot be sent to one child process "
                  "alone, least of all under Wine";
#else
  constexpr int kFiles = 4000;
  TempTree tree;
  // Big enough that a partly written copy could not pass for a whole one.
  const std::string filler(4096, 'x');
  for (int i = 0; i < kFiles; ++i) {
    const std::string name =
        "d" + std::to_string(i / 1000) + "/f" + std::to_string(i % 1000);
    tree.Write("src/" + name + ".dat", name + filler);
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove_all(ToNativePath(tree.Path("out")));
    ChildOptions options;
    options.signal_after_output = signal;

    const ChildResult result =
        Cli(tree, {"-v", "-r", "<src>", "<out>"}, options);

    EXPECT_EQ(result.exit_code, 130);
    EXPECT_EQ(result.err, "");
    // One line a copy, then a summary of two that counts exactly those.
    const int converted =
        static_cast<int>(std::ranges::count(result.out, '\n')) - 2;
    const std::string summary = Summary(converted, 0);
    const std::string counts = summary.substr(summary.find(' ') + 1);
    EXPECT_TRUE(result.out.ends_with(
        "\n操作结果: 操作已取消，没有处理完全部文件。\n" + counts))
        << result.out.substr(result.out.size() -
                             std::min<std::size_t>(result.out.size(), 200));
    EXPECT_GT(converted, 0);
    EXPECT_LT(converted, kFiles);
    // Only whole copies, as many as the summary counts.
    int files_in_target = 0;
    for (const std::string& entry : tree.Entries("out")) {
      if (entry.ends_with("/")) continue;
      ++files_in_target;
      EXPECT_EQ(tree.Read("out/" + entry),
                entry.substr(0, entry.size() - 4) + filler);
    }
    EXPECT_EQ(files_in_target, converted);
  }
#endif
}

TEST(CliOutputTest, StdoutThatCannotBeWrittenIsAFailure) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows spawn helper always gives a pipe";
#else
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  // Closed from the start, or full at the first write.
  for (const char* path : {"", "/dev/full"}) {
    SCOPED_TRACE(path);
    ChildOptions options;
    options.stdout_path = path;
    const ChildResult result = Cli(tree, {"<src>", "<out>"}, options);
    EXPECT_EQ(result.exit_code, 1);
    ExpectOutput(result.err, "batchext-cli: 无法写入标准输出：");
    EXPECT_EQ(tree.Read("out/a.txt"), "alpha");
  }
  ChildOptions full;
  full.stdout_path = "/dev/full";
  EXPECT_EQ(Cli(tree, {"--version"}, full).exit_code, 1);
#endif
}

// A crafted name reaches no terminal as it is; scripts get it whole.
TEST(CliOutputTest, ControlCharactersInNamesAreShownEscaped) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows names hold no control characters";
#else
  TempTree tree;
  const std::string name = "a\x1b]0;x\a\nb";
  tree.Write("in/" + name + ".doc", "x");
  tree.MakeFolder("out/" + name + ".txt");
  const std::string source = ShownPath(tree.Path("in/" + name + ".doc"));
  const std::string copy = ShownPath(tree.Path("out/" + name + ".txt"));
  ASSERT_TRUE(source.starts_with("$'"));
  for (const char* mode : {"-v", "-n"}) {
    const ChildResult result = Cli(tree, {mode, "<in>", "<out>"});
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << mode;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << mode;
    EXPECT_NE((result.out + result.err).find(source + " -> " + copy),
              std::string::npos)
        << mode;
  }
  const ChildResult fields = Cli(tree, {"-n", "-0", "<in>", "<out>"});
  EXPECT_EQ(fields.out, tree.Path("in/" + name + ".doc") + '\0' +
                            tree.Path("out/" + name + ".txt") + '\0' +
                            "失败：目标位置已有同名的文件夹或其他非普通文件" +
                            '\0');
  EXPECT_NE(fields.err.find("成功修改了0个"), std::string::npos);
#endif
}

// A target that cannot be made says why, not that it is missing.
TEST(CliFailureTest, TargetUnderAFolderThatTakesNoEntriesSaysWhy) {
#ifdef _WIN32
  GTEST_SKIP() << "no folder permissions of this kind";
#else
  TempTree tree;
  tree.Write("src/a.doc", "a");
  tree.MakeFolder("closed");
  // Root writes everywhere, but not on a file system mounted read-only.
  const bool root = ::geteuid() == 0;
  if (root && ::mount("tmpfs", tree.Path("closed").c_str(), "tmpfs", MS_RDONLY,
                      nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
  }
  if (!root) {
    ASSERT_EQ(::chmod(tree.Path("closed").c_str(), 0555), 0);
  }
  const std::string why = ErrorText(root ? EROFS : EACCES);
  for (const char* mode : {"-n", "-j1"}) {
    const ChildResult result = Cli(tree, {mode, "<src>", "<closed/new/out>"});
    EXPECT_EQ(result.exit_code, 1) << mode;
    EXPECT_NE(
        result.err.find(
            Expand(tree, "无法使用目标文件夹：<closed/new/out>/：系统提示：") +
            why + "\n"),
        std::string::npos)
        << result.err;
  }
  if (root) ::umount(tree.Path("closed").c_str());
  ::chmod(tree.Path("closed").c_str(), 0700);
#endif
}

TEST(CliFailureTest, UnreadableSourceFolderIsListedAndExitsOne) {
#ifdef _WIN32
  GTEST_SKIP() << "no folder permissions of this kind";
#else
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  TempTree tree;
  tree.Write("src/locked/a.doc", "a");
  tree.Write("src/open/b.doc", "b");
  ASSERT_EQ(::chmod(tree.Path("src/locked").c_str(), 0), 0);
  const ChildResult result = Cli(tree, {"-r", "<src>", "<out>"});
  ::chmod(tree.Path("src/locked").c_str(), 0700);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, Summary(1, 0));
  EXPECT_EQ(result.err,
            Expand(tree, "无法读取文件夹：<src/locked>/：系统提示：") +
                ErrorText(EACCES) + "\n");
#endif
}

// Windows drops the trailing dots and spaces of a typed folder; elsewhere
// they belong to the name.
TEST(CliWindowsTypingTest, TypedFoldersReadAsWindowsReadsThem) {
  const bool windows = PreferredSeparator() == '\\';
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  EXPECT_EQ(Cli(tree, {"<src>.", "<out>. "}).exit_code, windows ? 0 : 2);
  EXPECT_EQ(tree.Exists("out/a.txt"), windows);
}

#ifdef _WIN32
// A killed run closes no file of its own; the system deletes the
// temporaries it held, the replaced files stay whole.
TEST(CliKillTest, KilledRunLeavesNoTemporaryOnWindows) {
  constexpr int kFiles = 12;
  TempTree tree;
  const std::string content(24 << 20, 'n');
  for (int i = 0; i < kFiles; ++i) {
    tree.Write("src/f" + std::to_string(i) + ".doc", content);
    tree.Write("out/f" + std::to_string(i) + ".txt", "old");
  }
  std::wstring command = L"\"" + ToNativePath(BATCHEXT_CLI_PATH).native() +
                         L"\" -q -j 1 \"" +
                         ToNativePath(tree.Path("src")).native() + L"\" \"" +
                         ToNativePath(tree.Path("out")).native() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                               &child));
  // Once the first file is replaced, the next copy is under way.
  const std::wstring first = ToNativePath(tree.Path("out/f0.txt")).native();
  WIN32_FILE_ATTRIBUTE_DATA data{};
  bool replaced = false;
  for (int wait = 0; wait < 20000 && !replaced; ++wait) {
    replaced =
        ::GetFileAttributesExW(first.c_str(), GetFileExInfoStandard, &data) &&
        data.nFileSizeLow > 3;
    if (!replaced) ::Sleep(1);
  }
  ::Sleep(20);
  const bool running = ::WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT;
  ::TerminateProcess(child.hProcess, 9);
  ::WaitForSingleObject(child.hProcess, INFINITE);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  ASSERT_TRUE(replaced && running) << "the kill came too late to matter";
  for (const std::string& entry : tree.Entries("out")) {
    EXPECT_FALSE(entry.starts_with(".batchext-")) << entry;
  }
  for (int i = 0; i < kFiles; ++i) {
    const std::string copy = tree.Read("out/f" + std::to_string(i) + ".txt");
    ASSERT_TRUE(copy == "old" || copy == content) << i;
  }
}
#endif

}  // namespace
}  // namespace batchext
