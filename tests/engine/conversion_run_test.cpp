#include "engine/conversion_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/file_job.h"
#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/temporary_name.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

namespace batchext {
namespace {

using testing::TempTree;
using Entries = std::vector<std::string>;

std::string Summary(int converted, int failed) {
  return "summary " + std::to_string(converted) + "/" + std::to_string(failed) +
         "\n";
}

const std::string kFolderError = "target folder\n";

class ConversionRunTest : public ::testing::Test {
 protected:
  ConversionRunTest() {
    settings_.FromFolder = FolderPath::Typed(tree_.Path("in"));
    settings_.TargetFolder = FolderPath::Typed(tree_.Path("out"));
  }

  // Unusable target folders as they are told, in the walk's order.
  ConversionObserver Watch(ConversionObserver observer) {
    observer.on_folder_failure = [this, inner = observer.on_folder_failure](
                                     const FolderFailure& failure) {
      if (failure.in_target) messages_ += kFolderError;
      if (inner) inner(failure);
    };
    return observer;
  }

  void Run(const std::string& from, const std::string& to,
           const ConversionObserver& observer = {}) {
    messages_.clear();
    report_ = RunConversion(settings_, from, to, Watch(observer),
                            RunOptions{.jobs = jobs_});
    if (!report_.refused()) {
      messages_ += Summary(report_.succeeded, report_.failed);
    }
  }

  TempTree tree_;
  ConversionSettings settings_;
  // These cases reach into the tree from the observer, which only the walk
  // of one job at a time tells at the very moment.
  int jobs_ = 1;
  // What a front end would show: a line per unusable target folder, then
  // the counts.
  std::string messages_;
  ConversionReport report_;
};

TEST_F(ConversionRunTest, RefusedRequestsShowOneBoxAndWriteNothing) {
  struct Case {
    std::string from_folder, target_folder, from, to;
    Refusal refusal;
  };
  constexpr Refusal choose = Refusal::kNoFolders;
  constexpr Refusal no_to = Refusal::kNoToExt;
  constexpr Refusal same = Refusal::kSameExt;
  constexpr Refusal bad_to = Refusal::kBadToExt;
  const std::string in = tree_.Path("in");
  const std::string out = tree_.Path("out");
  const Case cases[] = {
      {"", "", "doc", "txt", choose},  {in, "  ", "doc", "txt", choose},
      {"", out, "doc", "txt", choose}, {in, out, "doc", "   ", no_to},
      {in, out, "", "", no_to},        {in, out, " txt ", "txt", same},
      {in, out, "*", "*", same},       {in, out, "   ", " * ", same},
      {in, out, "*", "../x", bad_to},  {in, out, "*", "a\\b", bad_to},
      {in, out, "*", "/", bad_to},     {in, out, ".doc", "doc", same},
      {in, out, "doc", " . ", no_to},
  };
  tree_.Write("in/a.doc", "x");
  for (const Case& c : cases) {
    settings_.FromFolder = FolderPath::Typed(c.from_folder);
    settings_.TargetFolder = FolderPath::Typed(c.target_folder);
    settings_.FromExt = settings_.ToExt = "unread";
    settings_.SuccessCount = 7;
    Run(c.from, c.to);
    EXPECT_EQ(report_.refusal, c.refusal) << c.from << "|" << c.to;
    EXPECT_EQ(settings_.SuccessCount, 7);
    // Without both folders the extension boxes are not even read.
    EXPECT_EQ(settings_.FromExt == "unread", c.refusal == choose);
  }
  EXPECT_EQ(tree_.Entries(), (Entries{"in/", "in/a.doc"}));
}

TEST_F(ConversionRunTest, ConvertsMatchingFilesAndKeepsTheTrimmedTexts) {
  tree_.Write("in/a.b.doc", "ab");
  tree_.Write("in/Notes.DOC", "notes");
  tree_.Write("in/skip.pdf", "p");
  tree_.Write("in/sub/deep.doc", "deep");
  // Typed folder paths lose their outer spaces once, before the run.
  settings_.FromFolder = FolderPath::Typed("  " + tree_.Path("in") + " ");
  // A leading dot is the separator, typed out.
  Run("  .doc ", " .txt  ");
  EXPECT_EQ(messages_, Summary(2, 0));
  EXPECT_EQ(report_.succeeded, 2);
  EXPECT_EQ(settings_.FromExt, "doc");
  EXPECT_EQ(tree_.Read("out/a.b.txt"), "ab");
  EXPECT_EQ(tree_.Read("out/Notes.txt"), "notes");
  EXPECT_FALSE(tree_.Exists("out/sub"));
  EXPECT_EQ(tree_.Read("in/a.b.doc"), "ab");
}

// The observer sees the walk depth first, files before subfolders.
TEST_F(ConversionRunTest, SubfoldersAreMirroredAndNamesStripped) {
  tree_.Write("in/a.b.doc", "1");
  tree_.Write("in/README", "2");
  tree_.Write("in/x/abc.abc.txt.txt", "3");
  tree_.MakeFolder("in/x/empty");
  tree_.Write("in/y/z/data.2024.csv", "4");
  settings_.IncludeSubfolders = true;
  settings_.StripSurplusExtensions = true;
  Entries events;
  const auto relative = [&](std::string path) {
    path.erase(0, tree_.Path("in").size() + 1);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  };
  ConversionObserver observer;
  observer.on_folder = [&](const ChainedPath::Ptr& source,
                           const ChainedPath::Ptr&) {
    events.push_back(relative(source->Text()));
  };
  observer.on_file = [&](const FileOutcome& o) {
    events.push_back(relative(o.source()));
  };
  Run("", "txt", observer);
  EXPECT_EQ(messages_, Summary(4, 0));
  EXPECT_EQ(settings_.FromExt, "*");
  EXPECT_EQ(events, (Entries{"", "README", "a.b.doc", "x/", "x/abc.abc.txt.txt",
                             "x/empty/", "y/", "y/z/", "y/z/data.2024.csv"}));
  EXPECT_EQ(tree_.Entries("out"),
            (Entries{"README.txt", "a.txt", "x/", "x/abc.txt", "x/empty/", "y/",
                     "y/z/", "y/z/data.txt"}));
}

// A source that cannot be read makes nothing; one with nothing to convert
// still makes its target folder.
TEST_F(ConversionRunTest, NothingToDoStillMakesTheTargetFolder) {
  tree_.Write("full/a.txt", "x");
  tree_.MakeFolder("empty");
  for (const std::string source : {"missing", "empty", "full"}) {
    settings_.FromFolder = FolderPath::Typed(tree_.Path(source));
    settings_.TargetFolder = FolderPath::Typed(tree_.Path("out-" + source));
    Run(source == "full" ? "pdf" : "*", "doc");
    EXPECT_EQ(messages_, Summary(0, 0)) << source;
    EXPECT_EQ(tree_.Exists("out-" + source), source != "missing") << source;
    // A missing source is said, though nothing is counted.
    EXPECT_EQ(report_.folder_failures.size(), source == "missing" ? 1u : 0u);
  }
}

// The total a watcher is told is what the run then meets: matching names
// that are not folders, nothing in the run's own target, nothing through a
// link to a folder; none in a preview.
TEST_F(ConversionRunTest, WatcherIsToldTheTotalTheRunMeets) {
  for (const char* file :
       {"a.doc", "b.DOC", "skip.pdf", "s/c.doc", "s/t/d.doc", "out/old.doc"}) {
    tree_.Write(std::string("in/") + file, "x");
  }
#ifndef _WIN32
  ASSERT_EQ(::symlink("s", tree_.Path("in/link").c_str()), 0);
#endif
  settings_.TargetFolder = FolderPath::Typed(tree_.Path("in/out"));
  const struct {
    bool subfolders;
    int jobs;
    bool preview;
  } cases[] = {
      {true, 1, false}, {true, 4, false}, {false, 1, false}, {true, 1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.jobs) + (c.subfolders ? " -r" : "") +
                 (c.preview ? " -n" : ""));
    settings_.IncludeSubfolders = c.subfolders;
    std::optional<std::int64_t> told;
    int files = 0;
    ConversionObserver observer;
    observer.on_total = [&](std::int64_t total) {
      EXPECT_FALSE(told) << "told twice";
      told = total;
    };
    // Time for the count, which runs beside the run, before the next event.
    observer.on_file = [&](const FileOutcome&) {
      if (files++ == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    report_ = RunConversion(settings_, "doc", "txt", observer,
                            RunOptions{.jobs = c.jobs, .preview = c.preview});
    if (c.preview) {
      EXPECT_FALSE(told);
    } else {
      ASSERT_TRUE(told);
      EXPECT_EQ(*told, report_.succeeded + report_.failed);
      EXPECT_EQ(*told, c.subfolders ? 4 : 2);
    }
    std::filesystem::remove_all(ToNativePath(tree_.Path("in/out")));
  }
}

TEST_F(ConversionRunTest, InPlaceRunNeverReplacesASourceFile) {
  tree_.Write("in/a.doc", "doc");
  tree_.Write("in/b.doc", "b");
  tree_.Write("in/b.txt", "original b");
  tree_.Write("in/c.txt", "c");
  settings_.TargetFolder = settings_.FromFolder;
  Run("*", "txt");
  // a.doc is new beside its source; b.doc would overwrite b.txt; c.txt is
  // its own copy; the fresh a.txt is not handled again.
  EXPECT_EQ(messages_, Summary(3, 1));
  EXPECT_EQ(tree_.Read("in/a.txt"), "doc");
  EXPECT_EQ(tree_.Read("in/b.txt"), "original b");
  EXPECT_EQ(tree_.Read("in/c.txt"), "c");
  EXPECT_EQ(tree_.Entries(), (Entries{"in/", "in/a.doc", "in/a.txt", "in/b.doc",
                                      "in/b.txt", "in/c.txt"}));
}

#ifdef __linux__
// Copies keep their modes whatever takes bits from a new file: the umask, or
// a default access list on the target, which a folder the run makes inherits.
TEST_F(ConversionRunTest, ModesSurviveTheUmaskAndADefaultAccessList) {
  tree_.Write("in/a.doc", "a");
  tree_.Write("in/sub/b.doc", "b");
  ::chmod(tree_.Path("in/a.doc").c_str(), 0666);
  ::chmod(tree_.Path("in/sub/b.doc").c_str(), 0644);
  tree_.MakeFolder("listed");
  // Default list user::rwx group::r-x other::---: new files get 0640.
  const unsigned char acl[] = {2,    0, 0, 0,                          //
                               1,    0, 7, 0, 0xff, 0xff, 0xff, 0xff,  //
                               4,    0, 5, 0, 0xff, 0xff, 0xff, 0xff,  //
                               0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
  const bool listed =
      ::setxattr(tree_.Path("listed").c_str(), "system.posix_acl_default", acl,
                 sizeof acl, 0) == 0;
  settings_.IncludeSubfolders = true;
  const mode_t umask = ::umask(0022);
  for (const std::string target : {"plain", "listed"}) {
    if (target == "listed" && !listed) continue;
    settings_.TargetFolder = FolderPath::Typed(tree_.Path(target));
    Run("", "txt");
    for (const auto& [file, mode] :
         {std::pair<std::string, mode_t>{"a", 0666}, {"sub/b", 0644}}) {
      struct stat info {};
      EXPECT_EQ(::stat(tree_.Path(target + "/" + file + ".txt").c_str(), &info),
                0);
      EXPECT_EQ(info.st_mode & 0777, mode) << target << "/" << file;
    }
  }
  ::umask(umask);
}
#endif

TEST_F(ConversionRunTest, FailuresAreCountedWithTheirReasonsFirstWrittenWins) {
  tree_.Write("in/a.doc", "doc");
  tree_.Write("in/a.pdf", "pdf");
  tree_.Write("in/b.doc", "b");
  tree_.Write("in/c.doc", "new");
  tree_.Write("out/c.txt", "old");
  std::filesystem::permissions(ToNativePath(tree_.Path("out/c.txt")),
                               std::filesystem::perms::owner_read);
#ifndef _WIN32
  // A failed attempt reserves nothing.
  ASSERT_EQ(::mkfifo(tree_.Path("in/d.doc").c_str(), 0600), 0);
  tree_.Write("in/d.pdf", "pdf");
#endif
  using Outcome = std::pair<std::string, CopyStatus>;
  std::vector<Outcome> outcomes;
  ConversionObserver observer;
  observer.on_file = [&](const FileOutcome& o) {
    // The listing was taken before.
    std::filesystem::remove(ToNativePath(tree_.Path("in/b.doc")));
    outcomes.emplace_back(
        o.source().substr(tree_.Path("in").size() + 1) + " " +
            o.destination().substr(tree_.Path("out").size() + 1),
        o.status);
  };
  Run("*", "txt", observer);
  std::vector<Outcome> expected = {
      {"a.doc a.txt", CopyStatus::kCopied},
      {"a.pdf a.txt", CopyStatus::kDestinationReserved},
      {"b.doc b.txt", CopyStatus::kSourceMissing},
      {"c.doc c.txt", CopyStatus::kDestinationReadOnly}};
#ifndef _WIN32
  expected.insert(expected.end(),
                  {{"d.doc d.txt", CopyStatus::kSourceNotRegularFile},
                   {"d.pdf d.txt", CopyStatus::kCopied}});
  EXPECT_EQ(tree_.Read("out/d.txt"), "pdf");
#endif
  EXPECT_EQ(outcomes, expected);
  const int fifo_pair = expected.size() > 4 ? 1 : 0;
  EXPECT_EQ(messages_, Summary(1 + fifo_pair, 3 + fifo_pair));
  EXPECT_EQ(tree_.Read("out/a.txt"), "doc");
  EXPECT_EQ(tree_.Read("out/c.txt"), "old");
}

TEST_F(ConversionRunTest, TargetInsideTheSourceIsNotWalked) {
  tree_.Write("in/a.doc", "a");
  tree_.Write("in/sub/b.doc", "b");
  settings_.TargetFolder = FolderPath::Typed(tree_.Path("in/out"));
  settings_.IncludeSubfolders = true;
  Run("*", "txt");
  EXPECT_EQ(messages_, Summary(2, 0));
  EXPECT_EQ(
      tree_.Entries(),
      (Entries{"in/", "in/a.doc", "in/out/", "in/out/a.txt", "in/out/sub/",
               "in/out/sub/b.txt", "in/sub/", "in/sub/b.doc"}));
  // An earlier run's copies in that target are replaced, not protected.
  tree_.Write("in/a.doc", "newer");
  Run("*", "txt");
  EXPECT_EQ(messages_, Summary(2, 0));
  EXPECT_EQ(tree_.Read("in/out/a.txt"), "newer");
}

TEST_F(ConversionRunTest, CounterAtItsTopEndsTheFolderNotTheRun) {
  tree_.Write("in/a.doc", "a");
  tree_.Write("in/b.doc", "b");
  tree_.Write("in/c.doc", "c");
  tree_.Write("in/sub/d.doc", "d");
  settings_.FromExt = "doc";
  settings_.ToExt = "txt";
  settings_.IncludeSubfolders = true;
  settings_.SuccessCount = std::numeric_limits<std::int32_t>::max() - 1;
  report_ =
      ConvertTree(settings_, settings_.FromFolder, settings_.TargetFolder);
  EXPECT_TRUE(report_.folder_failures.empty());
  EXPECT_EQ(settings_.SuccessCount, std::numeric_limits<std::int32_t>::max());
  EXPECT_FALSE(tree_.Exists("out/c.txt"));
  EXPECT_FALSE(tree_.Exists("out/sub"));
}

#ifndef _WIN32
// Built and read by descriptor: such a chain outgrows any path.
int OpenChain(const std::string& root, int depth, bool make) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < depth && fd >= 0; ++level) {
    if (make) ::mkdirat(fd, "dddddddddd", 0777);
    const int next = ::openat(fd, "dddddddddd", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  return fd;
}

void WriteAt(int folder, const char* name, const std::string& content) {
  const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, content.data(), content.size()),
            static_cast<ssize_t>(content.size()));
  ::close(fd);
}

std::string ReadAt(int folder, const char* name) {
  char content[64] = {};
  const int fd = ::openat(folder, name, O_RDONLY);
  if (fd < 0 || ::read(fd, content, sizeof content - 1) < 0) content[0] = 0;
  if (fd >= 0) ::close(fd);
  return content;
}

TEST_F(ConversionRunTest, DeepTreesAreMirroredWholeAndKeepSourcesSafe) {
  settings_.IncludeSubfolders = true;
  // 2,000 levels make a path of 22,000 bytes.
  for (const auto& [depth, in_place] :
       {std::pair{300, true}, std::pair{2000, false}}) {
    SCOPED_TRACE(depth);
    tree_.MakeFolder("in");
    const int bottom = OpenChain(tree_.Path("in"), depth, true);
    ASSERT_GE(bottom, 0);
    WriteAt(bottom, "x.doc", "new");
    WriteAt(bottom, "x.txt", "ORIGINAL");
    settings_.TargetFolder =
        FolderPath::Typed(tree_.Path(in_place ? "in" : "out"));
    Run("doc", "txt");
    EXPECT_EQ(messages_, in_place ? Summary(0, 1) : Summary(1, 0));
    EXPECT_TRUE(report_.folder_failures.empty());
    EXPECT_EQ(ReadAt(bottom, "x.txt"), "ORIGINAL");
    ::close(bottom);
    if (!in_place) {
      const int copy = OpenChain(tree_.Path("out"), depth, false);
      EXPECT_EQ(ReadAt(copy, "x.txt"), "new");
      ::close(copy);
    }
    // The tree's own cleanup cannot reach that deep.
    ASSERT_EQ(std::system(("rm -rf '" + tree_.Path() + "'/*").c_str()), 0);
  }
}

// Deep down, only the latest levels hold their folders open; the walk finds
// the others again on its way back, and not a stranger in their place.
TEST_F(ConversionRunTest, FoldersMovedWhileTheWalkIsDeeperAreFoundAgain) {
  const auto chain = [](int depth) {
    std::string path = "in";
    for (int level = 0; level < depth; ++level) path += "/c";
    return path;
  };
  for (int level = 0; level <= 24; ++level) {
    tree_.Write(chain(level) + "/f.doc", "f");
  }
  // Walked after "c", when the walk comes back to their folders.
  tree_.Write(chain(9) + "/y/h.doc", "h");
  tree_.Write(chain(5) + "/z/g.doc", "g");
  settings_.IncludeSubfolders = true;
  ConversionObserver observer;
  observer.on_file = [&](const FileOutcome& o) {
    if (o.source() == tree_.Path(chain(20) + "/f.doc")) {
      ASSERT_EQ(std::rename(tree_.Path(chain(10)).c_str(),
                            tree_.Path("moved").c_str()),
                0);
    }
  };
  Run("doc", "txt", observer);
  EXPECT_EQ(messages_, Summary(27, 0));
  EXPECT_TRUE(report_.folder_failures.empty());
  EXPECT_EQ(tree_.Read("out" + chain(24).substr(2) + "/f.txt"), "f");
  EXPECT_EQ(tree_.Read("out" + chain(9).substr(2) + "/y/h.txt"), "h");
  EXPECT_EQ(tree_.Read("out" + chain(5).substr(2) + "/z/g.txt"), "g");
}

// A killed run's temporaries go with the next run into their folder; those
// of a run still going, of another machine or of unknown origin stay.
TEST_F(ConversionRunTest, LeftoverTemporariesOfEndedRunsAreRemoved) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const TemporaryOwner me = ThisProcess();
  const TemporaryOwner ended{me.user, me.host,
                             static_cast<std::uint64_t>(child)};
  const TemporaryOwner elsewhere{me.user, me.host + 1, ended.process};
  const std::string left = TemporaryName(ended, 1);
  const std::vector<std::pair<std::string, bool>> names = {
      {left, false},
      {TemporaryName(me, 2), true},
      {TemporaryName(elsewhere, 3), true},
      {".batchext-0badf00d", true},
      {left + ".txt", true},
  };
  tree_.Write("in/a.doc", "a");
  for (const auto& [name, stays] : names) tree_.Write("out/" + name, "old");
  for (const bool preview : {true, false}) {
    report_ = RunConversion(settings_, "doc", "txt", {},
                            RunOptions{.jobs = 1, .preview = preview});
    for (const auto& [name, stays] : names) {
      EXPECT_EQ(tree_.Exists("out/" + name), stays || preview) << name;
    }
  }
  EXPECT_EQ(tree_.Read("out/a.txt"), "a");
}

TEST_F(ConversionRunTest, ListedNamesAreUsedByteForByte) {
  const std::vector<std::string> names = {
      "sub/a|b.doc",     "sub /back\\slash.doc", " sub/ lead.doc",
      "sub./trail.doc ", "sub/new\nline.doc",    "sub/bad\xff.doc"};
  for (const std::string& name : names) tree_.Write("in/" + name, name);
  settings_.IncludeSubfolders = true;
  Run("doc", "txt");
  EXPECT_EQ(messages_, Summary(6, 0));
  for (const std::string& name : names) {
    const std::string copy = name.substr(0, name.find(".doc")) + ".txt";
    EXPECT_EQ(tree_.Read("out/" + copy), name) << copy;
  }
}

TEST_F(ConversionRunTest, FoldersThatCannotBeReadAreReportedAndSkipped) {
  // Each is spoiled after the listing of its parent, before it is entered.
  for (const char* name :
       {"a/1.doc", "b/2.doc", "c/3.doc", "d/4.doc", "e/5.doc"}) {
    tree_.Write("in/" + std::string(name), "x");
  }
  tree_.Write("elsewhere/6.doc", "x");
  tree_.Write("in/0.doc", "x");
  const bool root = ::geteuid() == 0;
  if (!root) {
    ASSERT_EQ(::chmod(tree_.Path("in/e").c_str(), 0), 0);
  }
  settings_.IncludeSubfolders = true;
  std::vector<FolderFailure> seen;
  ConversionObserver observer;
  observer.on_folder_failure = [&](const FolderFailure& f) {
    seen.push_back(f);
  };
  observer.on_file = [&](const FileOutcome&) {
    std::filesystem::remove_all(ToNativePath(tree_.Path("in/b")));
    std::filesystem::remove_all(ToNativePath(tree_.Path("in/c")));
    tree_.Write("in/c", "now a file");
    std::filesystem::remove_all(ToNativePath(tree_.Path("in/d")));
    ASSERT_EQ(
        ::symlink(tree_.Path("elsewhere").c_str(), tree_.Path("in/d").c_str()),
        0);
  };
  Run("doc", "txt", observer);
  // Counters count files only.
  EXPECT_EQ(messages_, Summary(root ? 3 : 2, 0));
  std::vector<std::string> paths;
  for (const FolderFailure& f : seen) {
    EXPECT_FALSE(f.in_target);
    EXPECT_NE(f.error, FolderError::kNone);
    paths.push_back(f.path.substr(tree_.Path("in").size()));
  }
  std::vector<std::string> expected = {"/b/", "/c/", "/d/"};
  if (!root) expected.push_back("/e/");
  EXPECT_EQ(paths, expected);
  EXPECT_EQ(report_.folder_failures.size(), seen.size());
  EXPECT_FALSE(tree_.Exists("out/d/6.txt"));
  if (!root) ::chmod(tree_.Path("in/e").c_str(), 0700);
}

// Each target folder that cannot be used fails alone, with its own box.
TEST_F(ConversionRunTest, LinksAreNeverFollowedOutOfEitherTree) {
  // In the source, linked files are copied, linked folders not entered.
  tree_.Write("in/real.doc", "real");
  tree_.Write("elsewhere/far.doc", "far");
  ASSERT_EQ(::symlink("real.doc", tree_.Path("in/link.doc").c_str()), 0);
  ASSERT_EQ(::symlink("gone.doc", tree_.Path("in/dangling.doc").c_str()), 0);
  ASSERT_EQ(::symlink(".", tree_.Path("in/loop").c_str()), 0);
  ASSERT_EQ(::symlink("../elsewhere", tree_.Path("in/away").c_str()), 0);
  tree_.Write("in/linked/a.doc", "a");
  tree_.Write("in/swapped/1.doc", "1");
  tree_.Write("in/swapped/2.doc", "2");
  tree_.Write("in/swapped/deeper/3.doc", "3");
  tree_.Write("in/a.doc", "a");
  tree_.Write("outside/victim.txt", "victim");
  tree_.Write("in/blocked/b.doc", "b");
  tree_.Write("out/blocked", "a file where a folder should go");
  ASSERT_EQ(::symlink("../outside", tree_.Path("out/linked").c_str()), 0);
  // A link at a file's name is replaced, not written through.
  ASSERT_EQ(::symlink("../outside/victim.txt", tree_.Path("out/a.txt").c_str()),
            0);
  settings_.IncludeSubfolders = true;
  ConversionObserver observer;
  // Once the first copy stands in out/swapped, that folder is swapped for a
  // link out of the target tree.
  observer.on_file = [&](const FileOutcome& o) {
    if (o.source().ends_with("1.doc")) {
      std::filesystem::rename(ToNativePath(tree_.Path("out/swapped")),
                              ToNativePath(tree_.Path("out/moved")));
      ASSERT_EQ(::symlink("../outside", tree_.Path("out/swapped").c_str()), 0);
    }
  };
  Run("doc", "txt", observer);
  EXPECT_EQ(messages_, kFolderError + kFolderError + Summary(6, 1));
  ASSERT_EQ(report_.folder_failures.size(), 2u);
  EXPECT_TRUE(report_.folder_failures[1].in_target);
  EXPECT_EQ(report_.folder_failures[1].path, tree_.Path("out/linked") + "/");
  EXPECT_EQ(tree_.Entries("outside"), Entries{"victim.txt"});
  EXPECT_EQ(tree_.Read("outside/victim.txt"), "victim");
  EXPECT_EQ(tree_.Read("out/a.txt"), "a");
  EXPECT_EQ(tree_.Entries("out/moved"),
            (Entries{"1.txt", "2.txt", "deeper/", "deeper/3.txt"}));
  EXPECT_EQ(tree_.Read("out/link.txt"), "real");
  EXPECT_FALSE(
      std::filesystem::is_symlink(ToNativePath(tree_.Path("out/link.txt"))));
  EXPECT_FALSE(tree_.Exists("out/loop"));
  EXPECT_FALSE(tree_.Exists("out/away"));
}

TEST_F(ConversionRunTest, StopDuringALargeFileCountsItNeitherAndEndsTheRun) {
  tree_.Write("in/a.doc", "a");
  tree_.Write("in/b.doc", std::string(20 << 20, 'b'));
  tree_.Write("in/c.doc", "c");
  tree_.Write("in/sub/d.doc", "d");
  settings_.IncludeSubfolders = true;
  int asked = 0;
  ConversionObserver observer;
  // Before a.doc, before b.doc, then between b.doc's chunks.
  observer.stop_requested = [&] { return ++asked == 3; };
  Run("doc", "txt", observer);
  EXPECT_EQ(messages_, Summary(1, 0));
  EXPECT_TRUE(report_.stopped);
  EXPECT_EQ(tree_.Entries("out"), Entries{"a.txt"});
}

TEST_F(ConversionRunTest, StopWithCopiesInFlightCountsWhatWasWritten) {
  jobs_ = 4;
  Entries expected;
  for (int i = 0; i < 40; ++i) {
    const std::string name = (i < 10 ? "f0" : "f") + std::to_string(i);
    // Some take several chunks, so that copies are under way at the stop.
    tree_.Write("in/" + name + ".doc",
                std::string(i % 4 == 0 ? 9 << 20 : 1000, 'a' + i % 26));
    expected.push_back(name + ".txt");
  }
  std::vector<std::string> seen;
  ConversionObserver observer;
  observer.on_file = [&](const FileOutcome& o) {
    seen.push_back(o.destination().substr(tree_.Path("out/").size()));
  };
  observer.stop_requested = [&] { return seen.size() >= 5; };
  Run("doc", "txt", observer);
  EXPECT_TRUE(report_.stopped);
  // What was told is what was written: the first files in order, each whole.
  ASSERT_GE(seen.size(), 5u);
  expected.resize(seen.size());
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(tree_.Entries("out"), expected);
  EXPECT_EQ(messages_, Summary(static_cast<int>(seen.size()), 0));
  for (const std::string& name : seen) {
    EXPECT_EQ(tree_.Read("out/" + name).size(),
              std::stoi(name.substr(1)) % 4 == 0 ? std::size_t{9} << 20 : 1000u)
        << name;
  }
}

#ifdef __linux__
// Jobs that leave the processors idle wait for a disk: the run adds jobs up
// to the cap. Jobs that keep them busy would only queue for the kernel's
// locks, so they stay as many as they started.
TEST_F(ConversionRunTest, JobsAreAddedOnlyWhileTheyLeaveTheProcessorsIdle) {
  for (int i = 0; i < 20000; ++i) tree_.Write("in/" + std::to_string(i), "");
  const auto threads = [] {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                      std::filesystem::directory_iterator()));
  };
  const int before = threads();
  for (const bool idle : {true, false}) {
    const auto start = std::chrono::steady_clock::now();
    // Idle: no processor time at all; busy: sixty-four processors' worth.
    const auto clock = [&, idle]() -> std::chrono::nanoseconds {
      return idle ? std::chrono::nanoseconds(0)
                  : (std::chrono::steady_clock::now() - start) * 64;
    };
    int most = 0;
    int told = 0;
    ConversionObserver observer;
    observer.on_file = [&](const FileOutcome&) {
      if (++told % 64 == 0) most = std::max(most, threads() - before);
    };
    settings_.TargetFolder =
        FolderPath::Typed(tree_.Path(idle ? "out-idle" : "out-busy"));
    const ConversionReport report =
        RunConversion(settings_, "*", "txt", observer,
                      RunOptions{.jobs = 0,
                                 .preview = false,
                                 .journal_folder = "",
                                 .move = false,
                                 .cpu_clock = clock});
    EXPECT_EQ(report.succeeded, 20000);
    if (idle) {
      EXPECT_GT(most, DefaultJobs());
      EXPECT_LE(most, DefaultJobsCap());
    } else {
      EXPECT_EQ(most, DefaultJobs());
    }
  }
}
#endif

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                    std::filesystem::directory_iterator()));
}

// Folders and copies are given back as the run leaves them, however it ends.
TEST_F(ConversionRunTest, EveryFolderAndCopyIsClosedAfterTheRun) {
  for (int folder = 0; folder < 30; ++folder) {
    for (int file = 0; file < 5; ++file) {
      tree_.Write(
          "in/" + std::to_string(folder) + "/" + std::to_string(file) + ".doc",
          "x");
    }
  }
  settings_.IncludeSubfolders = true;
  const std::size_t before = OpenDescriptors();
  for (const int jobs : {1, 4}) {
    jobs_ = jobs;
    Run("doc", "txt");
    EXPECT_EQ(messages_, Summary(150, 0)) << jobs;
    EXPECT_EQ(OpenDescriptors(), before) << jobs;
    int asked = 0;
    ConversionObserver observer;
    observer.stop_requested = [&] { return ++asked > 40; };
    Run("doc", "txt", observer);
    EXPECT_TRUE(report_.stopped);
    EXPECT_EQ(OpenDescriptors(), before) << jobs << " stopped";
  }
}

// The kernel's files report no size, yet hold content.
TEST_F(ConversionRunTest, FilesOfTheKernelAreCopiedWithTheirContent) {
  if (!std::filesystem::exists("/proc/sys/kernel/ostype")) {
    GTEST_SKIP() << "no /proc here";
  }
  settings_.FromFolder = FolderPath::Typed("/proc/sys/kernel");
  Run("*", "txt");
  EXPECT_EQ(tree_.Read("out/ostype.txt"), "Linux\n");
}

TEST_F(ConversionRunTest, FailureInOneFolderEndsThatFolderOnly) {
  for (const char* name :
       {"a/1.doc", "a/2.doc", "a/sub/x.doc", "b/3.doc", "c/4.doc"}) {
    tree_.Write("in/" + std::string(name), "x");
  }
  settings_.IncludeSubfolders = true;
  ConversionObserver observer;
  observer.on_file = [&](const FileOutcome& o) {
    if (o.source().ends_with("1.doc")) throw std::runtime_error("file");
  };
  observer.on_folder = [&](const ChainedPath::Ptr& source,
                           const ChainedPath::Ptr&) {
    if (source->Text().ends_with("b/")) throw std::runtime_error("folder");
  };
  Run("doc", "txt", observer);
  EXPECT_EQ(messages_, Summary(1, 0));
  EXPECT_EQ(tree_.Entries("out"),
            (Entries{"a/", "a/1.txt", "b/", "c/", "c/4.txt"}));
}

TEST(MoveJobTest, ASourceChangedWhileCopiedAcrossFileSystemsStaysAlone) {
  TempTree tree;
  char other[] = "/dev/shm/batchext-move-XXXXXX";
  struct stat shm {
  }, here{};
  if (::stat("/dev/shm", &shm) != 0 ||
      ::stat(tree.Path().c_str(), &here) != 0 || shm.st_dev == here.st_dev ||
      ::mkdtemp(other) == nullptr) {
    GTEST_SKIP() << "no second writable file system at /dev/shm";
  }
  // Two chunks, so that the copy asks about a stop once on its way.
  tree.Write("in/big.doc", std::string(9 << 20, 'x'));
  FileDecision decision;
  decision.folders = std::make_shared<const FolderPair>(FolderPair{
      OpenFolder(tree.Path("in")).folder, OpenFolder(other).folder,
      ChainedPath::Root(tree.Path("in")), ChainedPath::Root(other), true});
  decision.name = "big.doc";
  decision.new_name = "big.txt";
  decision.action = FileAction::kCreate;
  decision.move = true;
  FileJob job{decision, StagedCopy(), CopyResult()};
  // Touched, as an editor saving the same length would leave it.
  const struct timespec touched[2] = {{1, 0}, {1, 0}};
  MoveJob(job, [&] {
    ::utimensat(AT_FDCWD, tree.Path("in/big.doc").c_str(), touched, 0);
    return false;
  });
  EXPECT_EQ(job.result.status, CopyStatus::kSourceChanged);
  EXPECT_EQ(tree.Read("in/big.doc").size(), std::size_t{9} << 20);
  EXPECT_TRUE(std::filesystem::is_empty(other));
  std::filesystem::remove_all(other);
}
#endif

}  // namespace
}  // namespace batchext
