#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "fs/temporary_name.h"
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

ino_t Inode(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info.st_ino;
}

// A fresh folder on another file system than `here`, where a move has to
// copy; "" where none can be written.
std::string OtherFileSystem(const std::string& here) {
  struct stat mine {};
  ::stat(here.c_str(), &mine);
  for (std::string candidate : {"/dev/shm", "/run/shm", "/run/user"}) {
    struct stat info {};
    candidate += "/batchext-move-XXXXXX";
    if (::stat(candidate.substr(0, candidate.rfind('/')).c_str(), &info) == 0 &&
        info.st_dev != mine.st_dev && ::mkdtemp(candidate.data()) != nullptr) {
      return candidate;
    }
  }
  return {};
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
  ChildResult Move(const std::string& target) {
    return Cli({"--move", "-r", "-f", "doc", tree_.Path("src"), target});
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

TEST_F(UndoTest, ATrashFullOfTheNameStillKeepsTheReplacedFile) {
  for (int i = 1; i <= 1000; ++i) {
    const std::string kept = i == 1 ? "f0.txt" : "f0.txt." + std::to_string(i);
    tree_.Write("data/Trash/files/" + kept, "x");
    tree_.Write("data/Trash/info/" + kept + ".trashinfo", "x");
  }
  const ChildResult run = Run();
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Trash("files").size(), 1000u + 2u);
  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(tree_.Read("out/f0.txt"), "old 0");
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

// Killed after the trash's record of the old file was written and before
// the file was linked in: the old file still stands under its name. And a
// copy killed before it took its name stands under a temporary one.
TEST_F(UndoTest, AKillBeforeTheOldFileReachedTheTrashLeavesNothingToKeep) {
  const auto before = Snapshot(tree_.Path("out"));
  ASSERT_EQ(Run().exit_code, 0);
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const TemporaryOwner me = ThisProcess();
  tree_.Write("out/sub/" +
                  TemporaryName(
                      {me.user, me.host, static_cast<std::uint64_t>(ended)}, 1),
              "new 2");
  const std::string kept = tree_.Path("data/Trash/files/f0.txt");
  ASSERT_EQ(::rename(kept.c_str(), tree_.Path("out/f0.txt").c_str()), 0);
  const std::string journal =
      "state/batchext/" + tree_.Entries("state/batchext").front();
  std::istringstream lines(tree_.Read(journal));
  std::string kept_journal;
  for (std::string line; std::getline(lines, line);) {
    if (!line.ends_with(kept)) kept_journal += line + "\n";
  }
  tree_.Write(journal, kept_journal);

  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(Snapshot(tree_.Path("out")), before);
  EXPECT_EQ(Trash("info"), Strings{});
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

TEST_F(UndoTest, AMoveKeepsTheCopysRulesAndItsPreviewWritesNothing) {
  tree_.Write("src/f0.pdf", "pdf");       // f0.doc takes f0.txt first
  tree_.Write("src/f1.txt", "a source");  // never moved over
  ::symlink("f2.doc", tree_.Path("src/link.doc").c_str());
  const ino_t f2 = Inode(tree_.Path("src/f2.doc"));
  const auto before = Snapshot(tree_.Path("src"));
  const Strings in_place = {"-f", "*", tree_.Path("src"), tree_.Path("src")};
  Strings preview = {"-n", "-m"};
  preview.insert(preview.end(), in_place.begin(), in_place.end());
  const ChildResult predicted = Cli(preview);
  EXPECT_EQ(predicted.exit_code, 1);
  EXPECT_NE(
      predicted.out.find("f2.doc -> " + tree_.Path("src/f2.txt") + "：移动\n"),
      std::string::npos)
      << predicted.out;
  EXPECT_NE(predicted.out.find("link.doc -> " + tree_.Path("src/link.txt") +
                               "：失败：来源不是普通文件\n"),
            std::string::npos);
  EXPECT_EQ(Snapshot(tree_.Path("src")), before);
  EXPECT_FALSE(tree_.Exists("state/batchext"));

  Strings move = {"-m"};
  move.insert(move.end(), in_place.begin(), in_place.end());
  const ChildResult run = Cli(move);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "操作结果: 成功修改了6个文件的后缀名，失败3个文件\n");
  EXPECT_NE(run.err.find("link.doc -> " + tree_.Path("src/link.txt") +
                         "：来源不是普通文件"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(
      tree_.Entries("src"),
      (Strings{"f0.pdf", "f0.txt", "f1.doc", "f1.txt", "f2.txt", "f3.txt",
               "f4.txt", "f5.txt", "link.doc", "sub/", "sub/deeper/",
               "sub/deeper/g0.doc", "sub/deeper/g1.doc", "sub/deeper/g2.doc",
               "sub/deeper/g3.doc", "sub/deeper/g4.doc", "sub/deeper/g5.doc"}));
  EXPECT_EQ(tree_.Read("src/f1.txt"), "a source");
  EXPECT_EQ(Inode(tree_.Path("src/f2.txt")), f2);
}

TEST_F(UndoTest, AMoveHereOrAcrossFileSystemsIsTakenBackExactly) {
  const std::string other = OtherFileSystem(tree_.Path());
  // Goes again whatever the test's end.
  const std::unique_ptr<const std::string, void (*)(const std::string*)>
      cleanup(&other, [](const std::string* path) {
        std::error_code ignored;
        if (!path->empty()) std::filesystem::remove_all(*path, ignored);
      });
  if (other.empty()) {
    std::cout << "[  NOTE    ] no second writable file system: the move "
                 "across file systems is not tried\n";
  } else {
    std::ofstream(other + "/f0.txt") << "old 0";
  }
  for (const std::string& target : {tree_.Path("out"), other}) {
    if (target.empty()) continue;
    SCOPED_TRACE(target);
    const bool here = target == tree_.Path("out");
    const auto sources = Snapshot(tree_.Path("src"));
    const auto targets = Snapshot(target);
    const ino_t f2 = Inode(tree_.Path("src/f2.doc"));
    const ChildResult run = Move(target);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(tree_.Entries("src"), (Strings{"sub/", "sub/deeper/"}));
    std::ifstream moved(target + "/f2.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), "new 2");
    EXPECT_EQ(Inode(target + "/f2.txt") == f2, here);

    const ChildResult undo = Undo();
    EXPECT_EQ(undo.exit_code, 0) << undo.err;
    EXPECT_EQ(undo.out,
              std::string("撤销结果: 移回了12个移动的文件，删除了0个") +
                  "新建的文件，放回了" + (here ? "2" : "1") +
                  "个被替换的文件，删除了2个文件夹，0项未撤销\n");
    EXPECT_EQ(Snapshot(tree_.Path("src")), sources);
    EXPECT_EQ(Snapshot(target), targets);
    EXPECT_EQ(Inode(tree_.Path("src/f2.doc")) == f2, here);
  }
  EXPECT_EQ(Trash("files"), Strings{});
}

TEST_F(UndoTest, AMovedFileChangedSinceOrWhoseNameWasTakenStaysAndIsNamed) {
  ASSERT_EQ(Move(tree_.Path("out")).exit_code, 0);
  tree_.Write("out/f2.txt", "edited");
  tree_.Write("src/f3.doc", "another");
  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 1);
  EXPECT_NE(undo.err.find("未撤销：" + tree_.Path("out/f2.txt") +
                          "：运行之后已被修改"),
            std::string::npos)
      << undo.err;
  EXPECT_NE(undo.err.find("未撤销：" + tree_.Path("src/f3.doc") +
                          "：原来的位置已有别的文件"),
            std::string::npos);
  EXPECT_EQ(tree_.Read("out/f2.txt"), "edited");
  EXPECT_EQ(tree_.Read("out/f3.txt"), "new 3");
  EXPECT_EQ(tree_.Read("src/f3.doc"), "another");
  EXPECT_EQ(tree_.Read("src/f4.doc"), "new 4");
  EXPECT_FALSE(tree_.Exists("out/f4.txt"));
}

TEST_F(UndoTest, AKilledMoveIsTakenBackUpToItsLastMove) {
  // The files replaced have their sources' sizes and times: only what a
  // move keeps tells them apart.
  const struct timespec time[2] = {{1000000000, 0}, {1000000000, 0}};
  for (int i = 0; i < 5000; ++i) {
    const std::string name = "many/n" + std::to_string(i);
    const std::string content = std::to_string(i);
    for (const std::string& file :
         {"src/" + name + ".doc", "out/" + name + ".txt"}) {
      if (file[0] == 'o' && i % 2 == 1) continue;
      tree_.Write(file,
                  file[0] == 's' ? content : std::string(content.size(), 'o'));
      ::utimensat(AT_FDCWD, tree_.Path(file).c_str(), time, 0);
    }
  }
  const auto sources = Snapshot(tree_.Path("src"));
  const auto targets = Snapshot(tree_.Path("out"));
  ChildOptions options;
  options.signal_after_output = SIGKILL;
  const ChildResult run =
      Cli({"-v", "-m", "-r", "-f", "doc", tree_.Path("src"), tree_.Path("out")},
          options);
  ASSERT_EQ(run.exit_code, 128 + SIGKILL);
  ASSERT_NE(Snapshot(tree_.Path("src")), sources);
  const ChildResult undo = Undo();
  EXPECT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_EQ(Snapshot(tree_.Path("src")), sources);
  EXPECT_EQ(Snapshot(tree_.Path("out")), targets);
  EXPECT_EQ(Trash("files"), Strings{});
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
