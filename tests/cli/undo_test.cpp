#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::TempTree;
using Strings = std::vector<std::string>;

// Every file and folder below `root` with what an undo must bring back:
// content, permission bits and modification time.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> snapshot;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    std::ostringstream state;
    state << std::oct << (info.st_mode & 07777) << std::dec << " "
          << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      state << " " << in.rdbuf();
    }
    snapshot[entry.path().lexically_relative(root).string()] = state.str();
  }
  return snapshot;
}

// Runs of the command line with their own state folder and trash.
class UndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_STATE_HOME", tree_.Path("state").c_str(), 1);
    ::setenv("XDG_DATA_HOME", tree_.Path("data").c_str(), 1);
    for (int i = 0; i < 6; ++i) {
      tree_.Write("src/f" + std::to_string(i) + ".doc",
                  "new " + std::to_string(i));
      tree_.Write("src/sub/deeper/g" + std::to_string(i) + ".doc", "g");
    }
    tree_.Write("out/f0.txt", "old 0");
    tree_.Write("out/f1.txt", "old 1");
    ::chmod(tree_.Path("out/f1.txt").c_str(), 0640);
    tree_.Write("out/other", "kept");
  }

  ChildResult Cli(const Strings& arguments, const ChildOptions& options = {}) {
    return testing::RunChild(BATCHEXT_CLI_PATH, arguments, options);
  }
  ChildResult Run(const std::string& to = "txt") {
    return Cli(
        {"-r", "-f", "doc", "-t", to, tree_.Path("src"), tree_.Path("out")});
  }
  ChildResult Undo() { return Cli({"--undo"}); }
  std::vector<std::string> Trash(const std::string& folder) {
    return tree_.Entries("data/Trash/" + folder);
  }

  TempTree tree_;
};

TEST_F(UndoTest, RunThenUndoLeavesTheTargetAsItWasAndTheTrashEmpty) {
  const auto before = Snapshot(tree_.Path("out"));
  ASSERT_EQ(Run().exit_code, 0);
  ASSERT_EQ(tree_.Read("out/f0.txt"), "new 0");
  // The replaced files wait in the trash, recorded as a file manager
  // reads them.
  EXPECT_EQ(Trash("files"), (Strings{"f0.txt", "f1.txt"}));
  const std::string record = tree_.Read("data/Trash/info/f0.txt.trashinfo");
  EXPECT_TRUE(record.starts_with(
      "[Trash Info]\nPath=" + tree_.Path("out/f0.txt") + "\nDeletionDate=2"))
      << record;
  EXPECT_EQ(record.size(), record.find("DeletionDate=") + 13 + 19 + 1);
  EXPECT_EQ(tree_.Read("data/Trash/files/f1.txt"), "old 1");

  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(undo.out,
            "撤销结果: 删除了10个新建的文件，放回了2个被替换的文件，"
            "删除了2个文件夹，0项未撤销\n");
  EXPECT_EQ(Snapshot(tree_.Path("out")), before);
  EXPECT_EQ(Trash("files"), Strings{});
  EXPECT_EQ(Trash("info"), Strings{});
}

TEST_F(UndoTest, WhatChangedSinceTheRunStaysAndIsNamed) {
  ASSERT_EQ(Run().exit_code, 0);
  tree_.Write("out/f2.txt", "edited");  // a copy the run made
  tree_.Write("out/f0.txt", "edited");  // a copy that replaced a file
  tree_.Write("out/sub/mine", "x");     // in a folder the run made
  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("未撤销：" + tree_.Path("out/f2.txt") +
                          "：运行之后已被修改"),
            std::string::npos)
      << undo.err;
  EXPECT_NE(undo.err.find(tree_.Path("out/f0.txt") + "：运行之后已被修改"),
            std::string::npos);
  EXPECT_NE(undo.err.find(tree_.Path("out/sub") + "：文件夹中有"),
            std::string::npos);
  EXPECT_EQ(tree_.Read("out/f2.txt"), "edited");
  EXPECT_EQ(tree_.Read("out/f0.txt"), "edited");
  EXPECT_EQ(tree_.Read("out/f1.txt"), "old 1");
  EXPECT_FALSE(tree_.Exists("out/f3.txt"));
  EXPECT_FALSE(tree_.Exists("out/sub/deeper"));
  // The old content is still in the trash for the person to decide.
  EXPECT_EQ(Trash("files"), Strings{"f0.txt"});
}

TEST_F(UndoTest, RunsAreTakenBackNewestFirstAndAPreviewRecordsNothing) {
  const auto before = Snapshot(tree_.Path("out"));
  ASSERT_EQ(Run("txt").exit_code, 0);
  const auto after_first = Snapshot(tree_.Path("out"));
  ASSERT_EQ(Run("md").exit_code, 0);
  ASSERT_EQ(Cli({"-n", "-r", "-f", "doc", tree_.Path("src"), tree_.Path("new")})
                .exit_code,
            0);
  // Two journals: the preview records nothing.
  EXPECT_EQ(tree_.Entries("state/batchext").size(), 2u);
  EXPECT_EQ(Undo().exit_code, 0);
  EXPECT_EQ(Snapshot(tree_.Path("out")), after_first);
  EXPECT_EQ(Undo().exit_code, 0);
  EXPECT_EQ(Snapshot(tree_.Path("out")), before);
  const ChildResult none = Undo();
  EXPECT_EQ(none.exit_code, 2);
  EXPECT_EQ(none.err, "撤销: 没有可以撤销的运行。\n");
}

TEST_F(UndoTest, AKilledRunIsTakenBackUpToItsLastChange) {
  // Enough files that the kill lands in the middle, half of them replacing.
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "many/n" + std::to_string(i);
    tree_.Write("src/" + name + ".doc", std::string(100 + i, 'x'));
    if (i % 2 == 0) tree_.Write("out/" + name + ".txt", "old");
  }
  const auto before = Snapshot(tree_.Path("out"));
  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    ChildOptions options;
    options.signal_after_output = SIGKILL;
    const ChildResult run = Cli({"-v", "-j", jobs, "-r", "-f", "doc",
                                 tree_.Path("src"), tree_.Path("out")},
                                options);
    ASSERT_EQ(run.exit_code, 128 + SIGKILL);
    ASSERT_NE(Snapshot(tree_.Path("out")), before);
    const ChildResult undo = Undo();
    EXPECT_EQ(undo.exit_code, 0) << undo.err;
    EXPECT_EQ(Snapshot(tree_.Path("out")), before);
    EXPECT_EQ(Trash("files"), Strings{});
  }
}

}  // namespace
}  // namespace batchext
#else
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fs/native_path.h"
#include "fs/trash.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

std::string ReadPath(const std::string& path) {
  std::ifstream in(ToNativePath(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// On Windows the replaced file waits in the Recycle Bin, and the undo puts
// it back from there.
TEST(WindowsUndoTest, AReplacedFileComesBackFromTheRecycleBin) {
  testing::TempTree tree;
  ASSERT_TRUE(::SetEnvironmentVariableW(
      L"LOCALAPPDATA", ToNativePath(tree.Path("state")).c_str()));
  tree.Write("src/a.doc", "new a");
  tree.Write("src/b.doc", "new b");
  tree.Write("out/a.txt", "old a");
  const std::string replaced = tree.Path("out/a.txt");
  const auto cli = [](const std::vector<std::string>& arguments) {
    return testing::RunChild(BATCHEXT_CLI_PATH, arguments);
  };
  ASSERT_EQ(cli({"-f", "doc", "-t", "txt", tree.Path("src"), tree.Path("out")})
                .exit_code,
            0);
  EXPECT_EQ(tree.Read("out/a.txt"), "new a");
  const std::vector<std::string> kept = Trash().KeptFor(replaced, "");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadPath(kept[0]), "old a");

  const testing::ChildResult undo = cli({"--undo"});
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(undo.out,
            "撤销结果: 删除了1个新建的文件，放回了1个被替换的文件，"
            "删除了0个文件夹，0项未撤销\n");
  EXPECT_EQ(tree.Read("out/a.txt"), "old a");
  EXPECT_FALSE(tree.Exists("out/b.txt"));
  EXPECT_EQ(Trash().KeptFor(replaced, ""), std::vector<std::string>{});
}

}  // namespace
}  // namespace batchext
#endif
