#include "fs/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "fs/native_path.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace batchext {
namespace {

using testing::TempTree;
namespace stdfs = std::filesystem;

class CopyFileToTest : public ::testing::Test {
 protected:
  CopyResult Copy(const std::string& from, const std::string& to,
                  const CopyOptions& options = {}) {
    return CopyFileTo(tree_.Path(from), tree_.Path(to), options);
  }

  void MakeReadOnly(const std::string& relative) {
    stdfs::permissions(ToNativePath(tree_.Path(relative)),
                       stdfs::perms::owner_read);
  }

  TempTree tree_;
};

TEST_F(CopyFileToTest, NewDestinationGetsContentTimeAndPermissions) {
  tree_.Write("src/a.doc", std::string(100000, 'q') + "end");
  const auto source = ToNativePath(tree_.Path("src/a.doc"));
  const auto old_time =
      stdfs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  stdfs::last_write_time(source, old_time);
  stdfs::permissions(source, stdfs::perms::owner_read |
                                 stdfs::perms::owner_write |
                                 stdfs::perms::group_read);
  tree_.MakeFolder("dst");

#ifndef _WIN32
  // The umask takes bits away from a new file; the copy gets them back.
  const mode_t umask = ::umask(0077);
#endif
  const CopyResult result = Copy("src/a.doc", "dst/a.txt");
#ifndef _WIN32
  ::umask(umask);
#endif

  ASSERT_EQ(result.status, CopyStatus::kCopied) << result.system_error;
  EXPECT_EQ(tree_.Read("dst/a.txt"), tree_.Read("src/a.doc"));
  const auto copy = ToNativePath(tree_.Path("dst/a.txt"));
  // Read back: Windows keeps coarser times than the clock gives.
  EXPECT_EQ(stdfs::last_write_time(copy), stdfs::last_write_time(source));
#ifndef _WIN32
  EXPECT_EQ(stdfs::status(copy).permissions(),
            stdfs::status(source).permissions());
#endif
  EXPECT_EQ(GetFileIdentity(tree_.Path("dst/a.txt")), result.destination);
}

TEST_F(CopyFileToTest, ReplacesOnlyWhatItMayAndLeavesNoTemporaryFile) {
  tree_.Write("a.doc", "");
  struct Case {
    const char* what;
    CopyOptions options;
    bool read_only;
    CopyStatus expected;
  };
  const Case cases[] = {
      {"writable", {}, false, CopyStatus::kCopied},
      {"protected", CopyOptions{false, {}}, false,
       CopyStatus::kDestinationProtected},
      {"read-only", {}, true, CopyStatus::kDestinationReadOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tree_.Write("out/a.txt", "old, and longer than the new");
    if (c.read_only) MakeReadOnly("out/a.txt");
    EXPECT_EQ(Copy("a.doc", "out/a.txt", c.options).status, c.expected);
    EXPECT_EQ(tree_.Read("out/a.txt").empty(),
              c.expected == CopyStatus::kCopied);
    EXPECT_EQ(tree_.Entries(),
              (std::vector<std::string>{"a.doc", "out/", "out/a.txt"}));
  }
#ifndef _WIN32
  // A link at the name gives way to the copy; what it led to stays as it was.
  ASSERT_EQ(::symlink("a.txt", tree_.Path("out/b.txt").c_str()), 0);
  EXPECT_EQ(Copy("a.doc", "out/b.txt").status, CopyStatus::kCopied);
  EXPECT_FALSE(stdfs::is_symlink(ToNativePath(tree_.Path("out/b.txt"))));
  EXPECT_EQ(tree_.Read("out/a.txt"), "old, and longer than the new");
#endif
}

TEST_F(CopyFileToTest, CopyOntoItselfWritesNothing) {
  tree_.Write("a.txt", "keep");
  MakeReadOnly("a.txt");
  const CopyResult result = Copy("a.txt", "a.txt", CopyOptions{false, {}});
  EXPECT_EQ(result.status, CopyStatus::kSameFile);
  EXPECT_EQ(result.destination, GetFileIdentity(tree_.Path("a.txt")));
  EXPECT_EQ(tree_.Read("a.txt"), "keep");
}

TEST_F(CopyFileToTest, FailuresAnswerFalseAndWriteNothing) {
  tree_.Write("a.doc", "x");
  tree_.MakeFolder("dir.txt");
  struct Case {
    std::string from, to;
    CopyStatus expected;
  };
  const Case cases[] = {
      {"gone.doc", "gone.txt", CopyStatus::kSourceMissing},
      {"a.doc", "no/such/folder/a.txt", CopyStatus::kSystemError},
      {"a.doc", "dir.txt", CopyStatus::kDestinationNotRegularFile},
      {"dir.txt", "b.txt", CopyStatus::kSourceNotRegularFile},
      {"a.doc", std::string(300, 'l') + ".txt", CopyStatus::kSystemError},
  };
  for (const Case& c : cases) {
    const CopyResult result = Copy(c.from, c.to);
    EXPECT_EQ(result.status, c.expected) << c.to;
    EXPECT_EQ(result.system_error.empty(),
              c.expected != CopyStatus::kSystemError)
        << c.to;
  }
  EXPECT_EQ(tree_.Entries(), (std::vector<std::string>{"a.doc", "dir.txt/"}));
}

#ifndef _WIN32
TEST_F(CopyFileToTest, UnwritableFolderFailsCleanly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into every folder";
  tree_.Write("a.doc", "x");
  tree_.Write("out/a.txt", "old");
  ASSERT_EQ(::chmod(tree_.Path("out").c_str(), 0500), 0);
  EXPECT_EQ(Copy("a.doc", "out/a.txt").status, CopyStatus::kSystemError);
  EXPECT_EQ(Copy("a.doc", "out/b.txt").status, CopyStatus::kSystemError);
  ::chmod(tree_.Path("out").c_str(), 0700);
  EXPECT_EQ(tree_.Read("out/a.txt"), "old");
}

TEST_F(CopyFileToTest, CopyCutShortLeavesNoPartialFileUnderItsName) {
  // Two chunks of data, then a hole where sparse files are kept: the stop
  // is asked after each chunk.
  const std::string data(16 << 20, 'n');
  const std::string source = tree_.Path("big.doc");
  for (const bool replace : {false, true}) {
    for (const std::string way :
         {"stopped", "killed", "shrunk", "shrunk to its hole", "grown"}) {
      SCOPED_TRACE(std::string(replace ? "replace " : "new ") + way);
      tree_.Write("big.doc", data);
      ASSERT_EQ(::truncate(source.c_str(), 24 << 20), 0);
      stdfs::remove_all(ToNativePath(tree_.Path("out")));
      tree_.MakeFolder("out");
      if (replace) tree_.Write("out/big.txt", "old");
      CopyOptions options;
      options.stop_requested = [&] {
        if (way == "stopped") return true;
        if (way == "killed") return ::raise(SIGKILL) != 0;
        // The source changes its length halfway through the copy.
        const off_t length = way == "shrunk"  ? 12 << 20
                             : way == "grown" ? 30 << 20
                                              : 16 << 20;
        return ::truncate(source.c_str(), length) != 0;
      };
      if (way == "killed") {
        const pid_t child = ::fork();
        if (child == 0) {
          Copy("big.doc", "out/big.txt", options);
          ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      } else {
        const CopyResult result = Copy("big.doc", "out/big.txt", options);
        if (way == "grown") {
          // As long as the source was when the copy began.
          ASSERT_EQ(result.status, CopyStatus::kCopied) << result.system_error;
          EXPECT_TRUE(tree_.Read("out/big.txt") ==
                      data + std::string(8 << 20, '\0'));
          EXPECT_EQ(tree_.Entries("out"), std::vector<std::string>{"big.txt"});
          continue;
        }
        EXPECT_EQ(result.status, way == "stopped" ? CopyStatus::kStopped
                                                  : CopyStatus::kSystemError);
        EXPECT_EQ(result.error_number, way == "stopped" ? 0 : ENODATA);
      }
      EXPECT_EQ(tree_.Exists("out/big.txt"), replace);
      if (replace) {
        EXPECT_EQ(tree_.Read("out/big.txt"), "old");
      }
      EXPECT_EQ(stdfs::is_empty(ToNativePath(tree_.Path("out"))), !replace);
    }
  }
}

// A large file with a few pieces of data copies in a moment and takes up
// little more room than its data: holes stay holes, the trailing one too.
TEST_F(CopyFileToTest, SparseFileKeepsItsHoles) {
  constexpr off_t kSize = off_t{1} << 30;
  const off_t offsets[] = {off_t{3} << 12, (off_t{300} << 20) + 5,
                           off_t{700} << 20};
  const auto piece = [](int i) { return std::string(8192, char('a' + i)); };
  {
    const int fd = ::open(tree_.Path("sparse.doc").c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(::pwrite(fd, piece(i).data(), 8192, offsets[i]), 8192);
    }
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    ::close(fd);
  }
  struct stat info {};
  ASSERT_EQ(::stat(tree_.Path("sparse.doc").c_str(), &info), 0);
  if (info.st_blocks * 512 > (off_t{1} << 20)) {
    GTEST_SKIP() << "the test folder's file system keeps no holes";
  }

  ASSERT_EQ(Copy("sparse.doc", "sparse.txt").status, CopyStatus::kCopied);
  ASSERT_EQ(::stat(tree_.Path("sparse.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, kSize);
  EXPECT_LT(info.st_blocks * 512, off_t{1} << 20);
  const int fd = ::open(tree_.Path("sparse.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::string read(8192 + 16, '?');
  for (int i = 0; i < 3; ++i) {
    // The data, and the hole just before it.
    ASSERT_EQ(::pread(fd, read.data(), read.size(), offsets[i] - 16),
              static_cast<ssize_t>(read.size()));
    EXPECT_EQ(read, std::string(16, '\0') + piece(i)) << offsets[i];
  }
  ASSERT_EQ(::pread(fd, read.data(), 16, kSize - 16), 16);
  EXPECT_EQ(read.substr(0, 16), std::string(16, '\0'));
  ::close(fd);
}

// Files under /proc report no size, those under /sys a page, whatever they
// hold.
TEST_F(CopyFileToTest, FileThatReportsNoSizeIsReadToItsEnd) {
  CopyOptions options;
  options.sizes_tell_content = false;
  for (const std::string path :
       {"/proc/version", "/proc/self/status", "/sys/kernel/profiling"}) {
    SCOPED_TRACE(path);
    // Named apart: the copies keep their sources' read-only bits.
    const std::string name = path.substr(path.rfind('/') + 1);
    std::ifstream source(path);
    std::string first_line;
    if (!std::getline(source, first_line)) GTEST_SKIP() << "no /proc here";
    ASSERT_EQ(CopyFileTo(path, tree_.Path(name), options).status,
              CopyStatus::kCopied);
    std::istringstream copy(tree_.Read(name));
    std::string copied_line;
    EXPECT_TRUE(std::getline(copy, copied_line));
    EXPECT_EQ(copied_line, first_line);
  }
}

// A write the system refuses halfway, without root: a file size limit. Large
// enough that the copy looks for a destination to replace before writing.
TEST_F(CopyFileToTest, RefusedWriteKeepsTheOldDestinationAndLeavesNothing) {
  tree_.Write("big.doc", std::string(2 << 20, 'b'));
  tree_.Write("out/old.txt", "old");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = 64 * 1024;
  // Ignored, the signal leaves the write failing with EFBIG instead.
  const auto handler = ::signal(SIGXFSZ, SIG_IGN);
  const bool limited = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  const CopyResult results[] = {Copy("big.doc", "out/new.txt"),
                                Copy("big.doc", "out/old.txt")};
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, handler);
  ASSERT_TRUE(limited);
  for (const CopyResult& result : results) {
    EXPECT_EQ(result.status, CopyStatus::kSystemError);
    EXPECT_NE(result.system_error, "");
  }
  EXPECT_EQ(tree_.Read("out/old.txt"), "old");
  EXPECT_EQ(tree_.Entries("out"), std::vector<std::string>{"old.txt"});
}

// On a small file system of its own, which can be filled up for real.
TEST_F(CopyFileToTest, FullDiskKeepsTheOldDestination) {
  tree_.MakeFolder("disk");
  const std::string disk = tree_.Path("disk");
  if (::mount("batchext-test", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root): "
                 << std::strerror(errno);
  }
  tree_.Write("big.doc", std::string(400 * 1024, 'b'));
  tree_.Write("disk/big.txt", "old");
  EXPECT_EQ(Copy("big.doc", "disk/big.txt").status, CopyStatus::kSystemError);
  EXPECT_EQ(tree_.Read("disk/big.txt"), "old");
  EXPECT_EQ(Copy("big.doc", "disk/new.txt").status, CopyStatus::kSystemError);
  EXPECT_EQ(tree_.Entries(),
            (std::vector<std::string>{"big.doc", "disk/", "disk/big.txt"}));
  ::umount(disk.c_str());
}
#endif

}  // namespace
}  // namespace batchext
