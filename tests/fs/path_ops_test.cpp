#include "fs/path_ops.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::TempTree;

const std::string kSep(1, PreferredSeparator());

TEST(AddTrailingSlashTest, TrimsSpacesAndEndsInOneSeparator) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {{"  /data  ", "/data" + kSep},
                        {"/data/", "/data/"},
                        {"/", "/"},
                        {"", kSep},
                        {"   ", kSep},
                        {"a b", "a b" + kSep},
                        {"\tx", "\tx" + kSep}};
  for (const Case& c : cases) EXPECT_EQ(AddTrailingSlash(c.in), c.out) << c.in;
}

#ifndef _WIN32
TEST(AddTrailingSlashTest, BackslashIsAnOrdinaryCharacterOnPosix) {
  EXPECT_EQ(AddTrailingSlash("dir\\"), "dir\\/");
}
#endif

TEST(CreateFolderPathTest, MakesEveryMissingLevelOfAnAbsolutePath) {
  TempTree tree;
  const std::string path = tree.Path() + "/a/b/c";
  EXPECT_TRUE(CreateFolderPath(path));
  EXPECT_TRUE(FolderExists(tree.Path("a/b/c")));
  EXPECT_TRUE(CreateFolderPath(path + "/"));
  EXPECT_EQ(tree.Entries(), (std::vector<std::string>{"a/", "a/b/", "a/b/c/"}));
}

TEST(CreateFolderPathTest, DoubledSeparatorsAndNamesWithSpaces) {
  TempTree tree;
  EXPECT_TRUE(CreateFolderPath(tree.Path() + "//x y//z "));
  EXPECT_TRUE(FolderExists(tree.Path("x y/z ")));
}

TEST(CreateFolderPathTest, FileInTheWayFails) {
  TempTree tree;
  tree.Write("a/file", "x");
  EXPECT_FALSE(CreateFolderPath(tree.Path() + "/a/file/b/c"));
  EXPECT_EQ(tree.Entries(), (std::vector<std::string>{"a/", "a/file"}));
}

TEST(CreateFolderPathTest, FailureKeepsTheLevelsMadeBeforeIt) {
  TempTree tree;
  const std::string too_long(300, 'n');
  EXPECT_FALSE(CreateFolderPath(tree.Path() + "/x/y/" + too_long + "/z"));
  EXPECT_EQ(tree.Entries(), (std::vector<std::string>{"x/", "x/y/"}));
}

TEST(CreateFolderPathTest, RootAloneNeedsNothing) {
  EXPECT_TRUE(CreateFolderPath("/"));
  EXPECT_FALSE(CreateFolderPath(""));
}

TEST(FolderExistsTest, OnlyFolders) {
  TempTree tree;
  tree.Write("f", "x");
  tree.MakeFolder("d");
  EXPECT_TRUE(FolderExists(tree.Path("d")));
  EXPECT_TRUE(FolderExists(tree.Path("d") + "/"));
  EXPECT_FALSE(FolderExists(tree.Path("f")));
  EXPECT_FALSE(FolderExists(tree.Path("missing")));
  EXPECT_FALSE(FolderExists(""));
}

TEST(IsValidFileNamePartTest, RefusesSeparatorsOfEveryPlatform) {
  EXPECT_TRUE(IsValidFileNamePart("txt"));
  EXPECT_TRUE(IsValidFileNamePart("文本 1"));
  EXPECT_FALSE(IsValidFileNamePart("a/b"));
  EXPECT_FALSE(IsValidFileNamePart("a\\b"));
  EXPECT_FALSE(IsValidFileNamePart(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace batchext
