#include "fs/path_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::TempTree;

const std::string kSep(1, PreferredSeparator());

TEST(AddTrailingSlashTest, TrimsSpacesAndEndsInOneSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"  /data  ", "/data" + kSep},
      {"/data/", "/data/"},
      {"/", "/"},
      {"", kSep},
      {"   ", kSep},
      {"\tx", "\tx" + kSep},
      // An ordinary character of names on POSIX.
      {"dir\\", kSep == "/" ? "dir\\/" : "dir\\"}};
  for (const auto& [in, out] : cases)
    EXPECT_EQ(AddTrailingSlash(in), out) << in;
}

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

// The run's own suite refuses both separators as a new extension.
TEST(IsValidFileNamePartTest, RefusesANulCharacter) {
  EXPECT_FALSE(IsValidFileNamePart(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace batchext
