#include "fs/folder_listing.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include "fs/folder_flags_posix.h"
#include "fs/folder_handle.h"
#endif

namespace batchext {
namespace {

using testing::TempTree;

TEST(ListFolderTest, SeparatesFilesFromSubfoldersSortedByCodePoint) {
  TempTree tree;
  for (const char* name : {"b.txt", "a.doc", "Z", "照片.jpg", "é", "a b"}) {
    tree.Write(name, "x");
  }
  tree.MakeFolder("sub");
  tree.MakeFolder("Another");
  const FolderListing listing = ListFolder(tree.Path());
  EXPECT_EQ(listing.files.ToList(),
            (NameList{"Z", "a b", "a.doc", "b.txt", "é", "照片.jpg"}));
  EXPECT_EQ(listing.subfolders.ToList(), (NameList{"Another", "sub"}));
}

TEST(ListFolderTest, MissingEmptyOrNotAFolderListsNothingAndSaysWhy) {
  TempTree tree;
  tree.MakeFolder("empty");
  tree.Write("file", "x");
  for (const std::string& path : {tree.Path("missing"), tree.Path("empty"),
                                  tree.Path("file"), std::string()}) {
    const FolderListing listing = ListFolder(path);
    EXPECT_TRUE(listing.files.empty()) << path;
    EXPECT_TRUE(listing.subfolders.empty()) << path;
    // Only the empty folder was read in full.
    EXPECT_EQ(listing.error.empty(), path == tree.Path("empty")) << path;
  }
}

#ifndef _WIN32
// The engine would refuse to enter one, but as a failure the user sees.
TEST(ListFolderTest, LinksToFoldersAreNeitherListedNorEntered) {
  TempTree tree;
  tree.Write("real/inner.txt", "x");
  tree.Write("target.txt", "x");
  ASSERT_EQ(::symlink(tree.Path("real").c_str(), tree.Path("loop").c_str()), 0);
  ASSERT_EQ(::symlink(tree.Path().c_str(), tree.Path("up").c_str()), 0);
  ASSERT_EQ(::symlink("target.txt", tree.Path("file-link").c_str()), 0);
  ASSERT_EQ(::symlink("gone", tree.Path("dangling").c_str()), 0);
  const FolderListing listing = ListFolder(tree.Path());
  EXPECT_EQ(listing.files.ToList(),
            (NameList{"dangling", "file-link", "target.txt"}));
  EXPECT_EQ(listing.subfolders.ToList(), NameList{"real"});
}
#endif

#ifdef __linux__
// Case folding is such a flag; this file system may not fold, but keeps
// others.
TEST(FolderFlagsTest, AFolderHeldAsAPlaceTellsItsFlags) {
  TempTree tree;
  tree.MakeFolder("plain");
  const OpenedFolder opened = OpenFolder(tree.Path("plain"));
  ASSERT_TRUE(opened.folder.valid()) << opened.system_error;
  EXPECT_FALSE(FolderHasFlag(opened.folder, FS_NOATIME_FL));
  const int fd = ::open(tree.Path("plain").c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  const bool set =
      ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
      ((flags |= FS_NOATIME_FL), ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  ::close(fd);
  if (!set) GTEST_SKIP() << "this file system keeps no folder flags";
  EXPECT_TRUE(FolderHasFlag(opened.folder, FS_NOATIME_FL));
}
#endif

}  // namespace
}  // namespace batchext
