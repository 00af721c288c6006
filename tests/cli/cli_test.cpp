#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <csignal>
#endif

#include "cli/cli_options.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::RunChild;
using testing::TempTree;

ChildResult Cli(const std::vector<std::string>& arguments,
                const ChildOptions& options = {}) {
  return RunChild(BATCHEXT_CLI_PATH, arguments, options);
}

// The paths the program prints join with the platform's separator.
std::string Join(const std::vector<std::string>& parts) {
  std::string path;
  for (const std::string& part : parts) {
    if (!path.empty()) path += PreferredSeparator();
    path += part;
  }
  return path;
}

std::string Summary(int converted, int failed) {
  return "操作结果: 成功修改了" + std::to_string(converted) +
         "个文件的后缀名，失败" + std::to_string(failed) + "个文件\n";
}

std::string Converted(const std::string& source,
                      const std::string& destination) {
  return source + " -> " + destination + "\n";
}

std::string Failed(const std::string& source, const std::string& destination,
                   const std::string& reason) {
  return "失败：" + source + " -> " + destination + "：" + reason + "\n";
}

// Entries of the tree below `folder`, relative to it.
std::vector<std::string> EntriesUnder(const TempTree& tree,
                                      const std::string& folder) {
  const std::string prefix = folder + "/";
  std::vector<std::string> entries;
  for (const std::string& entry : tree.Entries()) {
    if (entry.size() > prefix.size() && entry.starts_with(prefix)) {
      entries.push_back(entry.substr(prefix.size()));
    }
  }
  return entries;
}

#ifndef _WIN32
// Only the Ctrl-C case, which Windows skips, reads the output line by line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
#endif

TEST(CliInfoTest, VersionAndHelpEndAtOnce) {
  struct Case {
    std::vector<std::string> arguments;
    std::string out_contains;
  };
  for (const Case& c : std::vector<Case>{{{"-V"}, "batchext 1.00\n"},
                                         {{"--version"}, "batchext 1.00\n"},
                                         {{"-h"}, "--recursive"},
                                         {{"--help"}, "SOURCE"}}) {
    SCOPED_TRACE(c.arguments.front());
    const ChildResult result = Cli(c.arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find(c.out_contains), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");
  }
  EXPECT_EQ(Cli({"-V"}).out, "batchext 1.00\n");
}

TEST(CliRunTest, VerboseListsEachCopyInOrderAndSummaryEndsStdout) {
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  tree.Write("src/README", "readme");
  tree.Write("src/照片 1.JPG", "photo");
  tree.Write("src/sub/c.doc", "not without -r");
  const std::string src = tree.Path("src");
  const std::string dst = tree.Path("out");

  const ChildResult result = Cli({"-v", src, dst});

  EXPECT_EQ(result.exit_code, 0);
  // Listing order is by code point: upper case before lower, ASCII before
  // CJK.
  EXPECT_EQ(
      result.out,
      Converted(Join({src, "README"}), Join({dst, "README.txt"})) +
          Converted(Join({src, "a.doc"}), Join({dst, "a.txt"})) +
          Converted(Join({src, "照片 1.JPG"}), Join({dst, "照片 1.txt"})) +
          Summary(3, 0));
  // A pipe is no terminal: no progress line either.
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(EntriesUnder(tree, "out"),
            (std::vector<std::string>{"README.txt", "a.txt", "照片 1.txt"}));
  EXPECT_EQ(tree.Read("out/a.txt"), "alpha");
  EXPECT_EQ(tree.Read("out/照片 1.txt"), "photo");
}

TEST(CliRunTest, WithoutVerboseOnlyTheSummaryIsPrinted) {
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  tree.Write("src/b.doc", "beta");

  const ChildResult result = Cli({tree.Path("src"), tree.Path("out")});

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, Summary(2, 0));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(tree.Read("out/b.txt"), "beta");
}

TEST(CliRunTest, DefaultTargetIsSourceFollowedByTwoEvenAfterSeparator) {
  struct Case {
    // Appended to the source folder on the command line.
    std::string suffix;
    // What the program then puts between the source folder and a name.
    std::string separator;
  };
  const std::string preferred(1, PreferredSeparator());
  for (const Case& c : std::vector<Case>{{"", preferred}, {"/", "/"}}) {
    SCOPED_TRACE("suffix \"" + c.suffix + "\"");
    TempTree tree;
    tree.Write("照片 2024/a.doc", "alpha");
    const std::string src = tree.Path("照片 2024");
    const std::string dst = tree.Path("照片 2024(2)");

    const ChildResult result = Cli({"-v", src + c.suffix});

    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out,
              Converted(src + c.separator + "a.doc", Join({dst, "a.txt"})) +
                  Summary(1, 0));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(tree.Entries(),
              (std::vector<std::string>{"照片 2024(2)/", "照片 2024(2)/a.txt",
                                        "照片 2024/", "照片 2024/a.doc"}));
  }
}

TEST(CliDefaultTargetTest, DotNamesTheFolderItStandsFor) {
  const std::string current = FromNativePath(std::filesystem::current_path());
  const std::string parent =
      FromNativePath(std::filesystem::current_path().parent_path());
  const std::string sep(1, PreferredSeparator());
  EXPECT_EQ(DefaultTarget("."), current + "(2)");
  EXPECT_EQ(DefaultTarget("." + sep), current + "(2)");
  EXPECT_EQ(DefaultTarget(".." + sep), parent + "(2)");
  EXPECT_EQ(DefaultTarget("photos" + sep + "."), current + sep + "photos(2)");
}

TEST(CliRunTest, RecursiveMirrorsTheTreeAndStripDropsStackedExtensions) {
  struct Case {
    std::vector<std::string> options;
    int converted;
    std::vector<std::string> target_entries;
  };
  const std::vector<Case> cases = {
      {{"-t", "dat"}, 2, {"abc.abc.txt.dat", "data.2024.dat"}},
      {{"-t", "dat", "-s"}, 2, {"abc.dat", "data.dat"}},
      {{"-t", "dat", "-r"},
       4,
       {"abc.abc.txt.dat", "data.2024.dat", "empty/", "sub/", "sub/deep/",
        "sub/deep/Photo.dat", "sub/notes.v1.dat"}},
      {{"--to", "dat", "--recursive", "--strip"},
       4,
       {"abc.dat", "data.dat", "empty/", "sub/", "sub/deep/",
        "sub/deep/Photo.dat", "sub/notes.dat"}},
      {{"-f", "jpg", "-t", "png", "-r"},
       1,
       {"empty/", "sub/", "sub/deep/", "sub/deep/Photo.png"}},
      {{"--from", "CSV", "-t", "doc", "-s"}, 1, {"data.doc"}},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& option : c.options) label += option + " ";
    SCOPED_TRACE(label);
    TempTree tree;
    tree.Write("src/abc.abc.txt.txt", "abc");
    tree.Write("src/data.2024.csv", "data");
    tree.Write("src/sub/notes.v1.doc", "notes");
    tree.Write("src/sub/deep/Photo.JPG", "photo");
    tree.MakeFolder("src/empty");
    std::vector<std::string> arguments = c.options;
    arguments.push_back(tree.Path("src"));
    arguments.push_back(tree.Path("out"));

    const ChildResult result = Cli(arguments);

    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, Summary(c.converted, 0));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(EntriesUnder(tree, "out"), c.target_entries);
  }
}

TEST(CliRunTest, RecursiveVerboseNamesNestedFilesWithTheirFolders) {
  TempTree tree;
  tree.Write("src/sub/deep/x.doc", "x");
  const std::string src = tree.Path("src");
  const std::string dst = tree.Path("out");

  const ChildResult result = Cli({"-v", "-r", "-t", "md", src, dst});

  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, Converted(Join({src, "sub", "deep", "x.doc"}),
                                  Join({dst, "sub", "deep", "x.md"})) +
                            Summary(1, 0));
  EXPECT_EQ(tree.Read("out/sub/deep/x.md"), "x");
}

TEST(CliRefusalTest, RefusedRequestsExitTwoAndWriteNothing) {
  struct Case {
    std::string label;
    std::vector<std::string> options;
    // Empty: a line about the missing source folder is expected instead.
    std::string err;
    std::string source = "src";
  };
  const std::string kNoToExt =
      "参数设置不全: 你没有指定转换后的文件的后缀名。\n";
  const std::string kSameExt =
      "参数设置错误: 原来的后缀名与转换的后缀名一样。\n";
  const std::string kBadToExt =
      "参数设置错误: 转换后的后缀名中含有文件名中不能使用的字符。\n";
  const std::vector<Case> cases = {
      {"missing source", {}, "", "missing"},
      {"source is a file", {}, "", "src/a.doc"},
      {"empty to-extension", {"-t", ""}, kNoToExt},
      {"blank to-extension", {"--to", "   "}, kNoToExt},
      {"same extensions", {"-f", "doc", "-t", "doc"}, kSameExt},
      {"same after trimming", {"-f", " doc ", "-t", "doc"}, kSameExt},
      {"slash in to-extension", {"-t", "x/y"}, kBadToExt},
      {"backslash in to-extension", {"-t", "x\\y"}, kBadToExt},
      {"climbing to-extension", {"-t", "../../evil"}, kBadToExt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempTree tree;
    tree.Write("src/a.doc", "alpha");
    std::vector<std::string> arguments = c.options;
    arguments.push_back(tree.Path(c.source));
    arguments.push_back(tree.Path("out"));

    const ChildResult result = Cli(arguments);

    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "");
    if (c.err.empty()) {
      EXPECT_EQ(result.err, "batchext-cli: 来源文件夹不存在：" +
                                tree.Path(c.source) + "\n");
    } else {
      EXPECT_EQ(result.err, c.err);
    }
    EXPECT_FALSE(tree.Exists("out"));
  }
}

TEST(CliRefusalTest, UsageErrorsExitTwoWithAHint) {
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  const std::string src = tree.Path("src");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", src},
      {src, tree.Path("out"), tree.Path("third")},
      {src, "-t"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ChildResult result = Cli(arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("--help"), std::string::npos) << result.err;
  }
  EXPECT_EQ(tree.Entries(), (std::vector<std::string>{"src/", "src/a.doc"}));
}

TEST(CliFailureTest, FailedFilesAreListedWithTheirReasonAndExitOne) {
  struct Case {
    std::string label;
    std::vector<std::string> files;
    std::vector<std::string> options;
    // Relative to the tree; "" stands for the source folder itself.
    std::string target;
    std::string failed_source;
    std::string failed_destination;
    std::string reason;
    std::string kept_file;
    std::string kept_content;
  };
  const std::vector<Case> cases = {
      {"folder in the way",
       {"src/a.doc", "src/b.doc", "out/a.txt/keep"},
       {},
       "out",
       "a.doc",
       "a.txt",
       "目标位置已有同名的文件夹或其他非普通文件",
       "out/a.txt/keep",
       "out/a.txt/keep"},
      {"two sources, one destination",
       {"src/a.doc", "src/a.pdf"},
       {},
       "out",
       "a.pdf",
       "a.txt",
       "本次已有另一个文件转换为同一个目标文件，没有覆盖",
       "out/a.txt",
       "src/a.doc"},
      {"in place over a source file",
       {"src/a.doc", "src/b.txt", "src/b.doc"},
       {"-f", "doc"},
       "",
       "b.doc",
       "b.txt",
       "目标文件是来源文件夹中的文件，没有覆盖",
       "src/b.txt",
       "src/b.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempTree tree;
    // Each file holds its own path, so a wrong copy shows.
    for (const std::string& file : c.files) tree.Write(file, file);
    const std::string src = tree.Path("src");
    const std::string dst = c.target.empty() ? src : tree.Path(c.target);
    std::vector<std::string> arguments = c.options;
    arguments.push_back(src);
    arguments.push_back(dst);

    const ChildResult result = Cli(arguments);

    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, Summary(1, 1));
    EXPECT_EQ(result.err, Failed(Join({src, c.failed_source}),
                                 Join({dst, c.failed_destination}), c.reason));
    EXPECT_EQ(tree.Read(c.kept_file), c.kept_content);
  }
}

TEST(CliFailureTest, UnwritableTargetFolderIsAnErrorLineAndExitOne) {
  TempTree tree;
  tree.Write("src/a.doc", "alpha");
  tree.Write("blocker", "a file where the target folder should be");

  const ChildResult result =
      Cli({tree.Path("src"), tree.Path("blocker") + "/out"});

  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, Summary(0, 0));
  EXPECT_EQ(result.err, "错误: 无法向目标文件夹中写入修改后的文件夹\n");
  EXPECT_EQ(tree.Read("blocker"), "a file where the target folder should be");
}

TEST(CliTerminalTest, ProgressLineOnlyOnATerminalAndNotWhenQuiet) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a pseudo-terminal for stderr, which the Windows "
                  "spawn helper does not provide";
#else
  struct Case {
    bool terminal;
    bool quiet;
    bool progress;
  };
  for (const Case& c : std::vector<Case>{{false, false, false},
                                         {false, true, false},
                                         {true, false, true},
                                         {true, true, false}}) {
    SCOPED_TRACE(std::string(c.terminal ? "terminal" : "pipe") +
                 (c.quiet ? ", quiet" : ""));
    TempTree tree;
    tree.Write("src/a.doc", "alpha");
    std::vector<std::string> arguments = {tree.Path("src"), tree.Path("out")};
    if (c.quiet) arguments.insert(arguments.begin(), "-q");
    ChildOptions options;
    options.stderr_is_terminal = c.terminal;

    ChildResult result;
    try {
      result = Cli(arguments, options);
    } catch (const std::system_error& error) {
      if (!c.terminal) throw;
      GTEST_SKIP() << "no pseudo-terminal here: " << error.what();
    }

    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, Summary(1, 0));
    EXPECT_EQ(result.err.find("已处理") != std::string::npos, c.progress)
        << result.err;
    if (!c.progress) {
      EXPECT_EQ(result.err, "");
    }
  }
#endif
}

TEST(CliInterruptTest, CtrlCStopsBetweenFilesWithSummaryAndExit130) {
#ifdef _WIN32
  GTEST_SKIP() << "a console Ctrl-C cannot be sent to one child process "
                  "alone, least of all under Wine";
#else
  constexpr int kFolders = 8;
  constexpr int kFilesPerFolder = 1000;
  constexpr int kFiles = kFolders * kFilesPerFolder;
  TempTree tree;
  // Big enough that a partly written copy could not pass for a whole one.
  const std::string filler(4096, 'x');
  for (int folder = 0; folder < kFolders; ++folder) {
    for (int file = 0; file < kFilesPerFolder; ++file) {
      const std::string name =
          "d" + std::to_string(folder) + "/f" + std::to_string(file);
      tree.Write("src/" + name + ".dat", name + filler);
    }
  }

  testing::RunningChild child(BATCHEXT_CLI_PATH,
                              {"-v", "-r", tree.Path("src"), tree.Path("out")});
  ASSERT_TRUE(child.WaitForStdout(1)) << "the run printed nothing";
  child.Signal(SIGINT);
  const ChildResult result = child.Finish();

  EXPECT_EQ(result.exit_code, 130);
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_FALSE(lines.empty());
  std::smatch match;
  const std::regex summary(
      "操作结果: 成功修改了([0-9]+)个文件的后缀名，失败0个文件");
  ASSERT_TRUE(std::regex_match(lines.back(), match, summary)) << lines.back();
  const int converted = std::stoi(match[1]);
  EXPECT_GT(converted, 0);
  EXPECT_LT(converted, kFiles);
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(converted) + 1);

  // Only whole copies: each file in the target is one the run reported, with
  // all of its source's content.
  int files_in_target = 0;
  for (const std::string& entry : EntriesUnder(tree, "out")) {
    if (entry.ends_with("/")) continue;
    ++files_in_target;
    ASSERT_TRUE(entry.ends_with(".txt")) << entry;
    const std::string name = entry.substr(0, entry.size() - 4);
    EXPECT_EQ(tree.Read("out/" + entry), name + filler) << entry;
  }
  EXPECT_EQ(files_in_target, converted);
#endif
}

}  // namespace
}  // namespace batchext
