#include "fs/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "fs/native_path.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
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
                       stdfs::perms::owner_write | stdfs::perms::group_write |
                           stdfs::perms::others_write,
                       stdfs::perm_options::remove);
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

  const CopyResult result = Copy("src/a.doc", "dst/a.txt");

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

TEST_F(CopyFileToTest, EmptySourceMakesAnEmptyCopy) {
  tree_.Write("empty", "");
  ASSERT_TRUE(Copy("empty", "copy").Succeeded());
  EXPECT_EQ(tree_.Read("copy"), "");
}

TEST_F(CopyFileToTest, ReplacesAWritableDestinationLeavingNoTemporaryFile) {
  tree_.Write("a.doc", "new");
  tree_.Write("out/a.txt", "old content that is longer");
  EXPECT_EQ(Copy("a.doc", "out/a.txt").status, CopyStatus::kCopied);
  EXPECT_EQ(tree_.Read("out/a.txt"), "new");
  EXPECT_EQ(tree_.Entries(),
            (std::vector<std::string>{"a.doc", "out/", "out/a.txt"}));
}

TEST_F(CopyFileToTest, RefusalsLeaveTheDestinationAsItWas) {
  tree_.Write("a.doc", "new");
  tree_.Write("out/a.txt", "old");
  const auto reserved_id = GetFileIdentity(tree_.Path("out/a.txt"));
  ASSERT_TRUE(reserved_id);

  struct Case {
    const char* what;
    CopyOptions options;
    CopyStatus expected;
  };
  const Case cases[] = {
      {"protected", CopyOptions{false, {}, {}},
       CopyStatus::kDestinationProtected},
      {"reserved",
       CopyOptions{true,
                   [&](const FileIdentity& id) { return id == *reserved_id; },
                   {}},
       CopyStatus::kDestinationReserved},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Copy("a.doc", "out/a.txt", c.options).status, c.expected)
        << c.what;
    EXPECT_EQ(tree_.Read("out/a.txt"), "old") << c.what;
  }
  MakeReadOnly("out/a.txt");
  EXPECT_EQ(Copy("a.doc", "out/a.txt").status,
            CopyStatus::kDestinationReadOnly);
  EXPECT_EQ(tree_.Read("out/a.txt"), "old");
  EXPECT_EQ(tree_.Entries(),
            (std::vector<std::string>{"a.doc", "out/", "out/a.txt"}));
}

TEST_F(CopyFileToTest, ReservationDoesNotStopANewFile) {
  tree_.Write("a.doc", "x");
  CopyOptions options{false, [](const FileIdentity&) { return true; }, {}};
  EXPECT_EQ(Copy("a.doc", "a.txt", options).status, CopyStatus::kCopied);
}

TEST_F(CopyFileToTest, CopyOntoItselfWritesNothing) {
  tree_.Write("a.txt", "keep");
  MakeReadOnly("a.txt");
  const CopyResult result = Copy("a.txt", "a.txt", CopyOptions{false, {}, {}});
  EXPECT_EQ(result.status, CopyStatus::kSameFile);
  EXPECT_TRUE(result.Succeeded());
  EXPECT_EQ(result.destination, GetFileIdentity(tree_.Path("a.txt")));
  EXPECT_EQ(tree_.Read("a.txt"), "keep");
}

TEST_F(CopyFileToTest, FailuresAnswerFalseAndWriteNothing) {
  tree_.Write("a.doc", "x");
  tree_.MakeFolder("dir.txt");
  struct Case {
    std::string from;
    std::string to;
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
    EXPECT_FALSE(result.Succeeded()) << c.to;
  }
  EXPECT_EQ(tree_.Entries(), (std::vector<std::string>{"a.doc", "dir.txt/"}));
}

TEST_F(CopyFileToTest, SystemErrorCarriesTheSystemsText) {
  tree_.Write("a.doc", "x");
  const CopyResult result = Copy("a.doc", "missing/a.txt");
  EXPECT_EQ(result.status, CopyStatus::kSystemError);
  EXPECT_FALSE(result.system_error.empty());
}

#ifndef _WIN32
TEST_F(CopyFileToTest, LinksAreCopiedAsTheFileTheyPointTo) {
  tree_.Write("real.doc", "content");
  ASSERT_EQ(::symlink("real.doc", tree_.Path("link.doc").c_str()), 0);
  ASSERT_EQ(::symlink("gone", tree_.Path("dangling.doc").c_str()), 0);
  EXPECT_EQ(Copy("link.doc", "link.txt").status, CopyStatus::kCopied);
  EXPECT_FALSE(stdfs::is_symlink(ToNativePath(tree_.Path("link.txt"))));
  EXPECT_EQ(tree_.Read("link.txt"), "content");
  EXPECT_EQ(Copy("dangling.doc", "dangling.txt").status,
            CopyStatus::kSourceMissing);
  EXPECT_FALSE(tree_.Exists("dangling.txt"));
}

TEST_F(CopyFileToTest, FifoIsRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo(tree_.Path("pipe.doc").c_str(), 0600), 0);
  EXPECT_EQ(Copy("pipe.doc", "pipe.txt").status,
            CopyStatus::kSourceNotRegularFile);
  EXPECT_FALSE(tree_.Exists("pipe.txt"));
}

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

// A small file system of its own, so that it can be filled up for real.
class FullDiskTest : public CopyFileToTest {
 protected:
  void SetUp() override {
    mount_point_ = tree_.Path("disk");
    tree_.MakeFolder("disk");
    if (::mount("batchext-test", mount_point_.c_str(), "tmpfs", 0,
                "size=256k") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here (needs root): "
                   << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(mount_point_.c_str());
  }

  std::string mount_point_;
  bool mounted_ = false;
};

TEST_F(FullDiskTest, FailedReplacementKeepsTheOldDestination) {
  tree_.Write("big.doc", std::string(400 * 1024, 'b'));
  tree_.Write("disk/big.txt", "old");
  const CopyResult replaced = Copy("big.doc", "disk/big.txt");
  EXPECT_EQ(replaced.status, CopyStatus::kSystemError);
  EXPECT_EQ(tree_.Read("disk/big.txt"), "old");
  const CopyResult fresh = Copy("big.doc", "disk/new.txt");
  EXPECT_EQ(fresh.status, CopyStatus::kSystemError);
  EXPECT_EQ(tree_.Entries(),
            (std::vector<std::string>{"big.doc", "disk/", "disk/big.txt"}));
}
#endif

}  // namespace
}  // namespace batchext
