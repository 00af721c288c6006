#include "engine/name_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace batchext {
namespace {

TEST(NameRulesTest, ExtensionAndBaseNameCutAtTheSameDot) {
  struct Case {
    std::string name, extension, base;
  };
  const Case cases[] = {{"abc.abc.txt.txt", "txt", "abc.abc.txt"},
                        {"name.", "", "name"},
                        {"README", "", "README"},
                        {".profile", "profile", ""},
                        {"..", "", "."},
                        {"", "", ""},
                        {"  a.b  ", "b", "  a"},
                        {"a.txt ", "txt", "a"},
                        {"照片.JPEG", "JPEG", "照片"},
                        {"a|b.c\\d", "c\\d", "a|b"}};
  for (const Case& c : cases) {
    EXPECT_EQ(GetExtension(c.name), c.extension) << c.name;
    EXPECT_EQ(BaseName(c.name), c.base) << c.name;
  }
}

TEST(NameRulesTest, StripDropsExtensionsOfOneToFiveCharacters) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"abc.abc.txt", "abc"},
      {"abc.backup", "abc.backup"},
      {"report.copy.2.final", "report"},
      {"a..", "a"},
      {".", "."},
      {".txt", ""},
      {"abc", "abc"},
      {"x.123456.abc", "x.123456"},
      // Characters, not bytes, are counted.
      {"报告.草稿", "报告"},
      {"报告.第一次修改稿", "报告.第一次修改稿"},
      // Each byte outside a valid sequence is one.
      {"a.\x80\x80\x80\x80\x80\x80", "a.\x80\x80\x80\x80\x80\x80"},
      {"a.\xE8\xAF\xE8\xAF\xE8\xAF", "a.\xE8\xAF\xE8\xAF\xE8\xAF"},
      {"a.\xC0\x80\xC0\x80\xC0\x80", "a.\xC0\x80\xC0\x80\xC0\x80"},
      {"a.\xF0\x9F\x93\x84", "a"}};
  for (const Case& c : cases) {
    EXPECT_EQ(StripSurplusExtensions(c.in), c.out) << c.in;
  }
}

TEST(NameRulesTest, OneLeadingDotOfATypedExtensionIsTheSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {".png", "png"},    {" .jpg ", "jpg"}, {".*", "*"},         {".", ""},
      {"..png", "..png"}, {"a.b", "a.b"},    {"tar.gz", "tar.gz"}};
  for (const auto& [typed, meant] : cases) {
    EXPECT_EQ(TypedExtension(typed), meant) << typed;
  }
}

TEST(NameRulesTest, FromExtComparesLowerCasedExtensions) {
  struct Case {
    std::string name, from_ext;
    bool matches;
  };
  const Case cases[] = {{"Photo.JPG", "jpg", true},
                        {"photo.jpg", "JPG", true},
                        {"README", "*", true},
                        {"README", "txt", false},
                        {"a.txt", ".txt", false},
                        {"a.txt", "*.*", false},
                        {"a.txt", "t*", false},
                        {"a.txt", "tx", false},
                        {"README", "", true},
                        {"ФОТО.ÄBC", "äbc", true},
                        {"a.ＴＸＴ", "ｔｘｔ", true},
                        // Not UTF-8: compared byte-wise, ASCII lowered.
                        {"bad\xff.TXT", "txt", true},
                        {"bad.\xC0\xAF", "\xC0\xAF", true},
                        {"bad.\xC0\xAF", "/", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesFromExt(c.name, c.from_ext), c.matches)
        << c.name << " / " << c.from_ext;
  }
}

}  // namespace
}  // namespace batchext
