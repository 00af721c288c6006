#include "fs/path_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

TEST(CreateFolderPathTest, MakesEachMissingLevelAndKeepsThemOnFailure) {
  struct Case {
    std::string path;
    bool made;
    std::vector<std::string> entries;
  };
  const std::string too_long(300, 'n');
  const Case cases[] = {
      {"/a/b/c", true, {"a/", "a/b/", "a/b/c/"}},
      {"/a/b/c/", true, {"a/", "a/b/", "a/b/c/"}},
      // Doubled separators name no level; spaces belong to the names.
      {"//x y// z", true, {"x y/", "x y/ z/"}},
      {"/f/b/c", false, {"f"}},
      {"/x/y/" + too_long + "/z", false, {"x/", "x/y/"}},
  };
  for (const Case& c : cases) {
    TempTree tree;
    tree.Write("f", "x");
    EXPECT_EQ(CreateFolderPath(tree.Path() + c.path), c.made) << c.path;
    auto entries = c.entries;
    if (entries.front() != "f") entries.push_back("f");
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(tree.Entries(), entries) << c.path;
    // Folders only, with or without a separator.
    EXPECT_EQ(FolderExists(tree.Path() + c.path), c.made) << c.path;
    EXPECT_FALSE(FolderExists(tree.Path("f")));
  }
  EXPECT_TRUE(CreateFolderPath("/"));
  EXPECT_FALSE(CreateFolderPath(""));
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
