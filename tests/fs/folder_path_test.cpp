#include "fs/folder_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

class FolderPathTest : public ::testing::Test {
 protected:
  const std::filesystem::path current_ = std::filesystem::current_path();
  const std::string here_ = FromNativePath(current_);
  const std::string sep_ = std::string(1, PreferredSeparator());
};

TEST_F(FolderPathTest, TypedLosesTheBlanksAroundIt) {
  const std::string folder = here_ + sep_ + " a b ";
  EXPECT_EQ(FolderPath::Typed("  " + folder + "  ").text(),
            here_ + sep_ + " a b");
  EXPECT_TRUE(FolderPath::Typed("   ").empty());
}

// Relative paths are read against the current folder, whose name the twin
// of "." and ".." must still bear.
TEST_F(FolderPathTest, TwinBearsTheFolderName) {
  // "C:\" on Windows, "/" elsewhere.
  const std::string root = here_.substr(0, here_.find(sep_) + 1);
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {root, root + "(2)"},
      {here_ + sep_ + "a" + sep_ + "b" + sep_ + sep_,
       here_ + sep_ + "a" + sep_ + "b(2)"},
      {".", here_ + "(2)"},
      {"." + sep_, here_ + "(2)"},
      {".." + sep_, FromNativePath(current_.parent_path()) + "(2)"},
      {"photos" + sep_ + ".", here_ + sep_ + "photos(2)"},
  };
  for (const auto& [typed, twin] : cases) {
    EXPECT_EQ(FolderPath::Typed(typed).Twin().text(), twin) << typed;
  }
}

}  // namespace
}  // namespace batchext
