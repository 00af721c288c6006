#include "engine/name_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace batchext {
namespace {

struct NameCase {
  std::string name;
  std::string extension;
  std::string base;
};

class NameSplitTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameSplitTest, ExtensionAndBaseNameCutAtTheSameDot) {
  const NameCase& c = GetParam();
  EXPECT_EQ(GetExtension(c.name), c.extension);
  EXPECT_EQ(BaseName(c.name), c.base);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSplitTest,
    ::testing::Values(NameCase{"abc.abc.txt.txt", "txt", "abc.abc.txt"},
                      NameCase{"archive.tar.gz", "gz", "archive.tar"},
                      NameCase{"name.", "", "name"},
                      NameCase{"README", "", "README"},
                      NameCase{".profile", "profile", ""}, NameCase{"", "", ""},
                      NameCase{"  a.b  ", "b", "  a"},
                      NameCase{"report.TXT", "TXT", "report"},
                      NameCase{"a.txt ", "txt", "a"},
                      NameCase{"照片.JPEG", "JPEG", "照片"},
                      NameCase{"a|b.c\\d", "c\\d", "a|b"}));

struct StripCase {
  std::string in;
  std::string out;
};

class StripTest : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripTest, DropsShortStackedExtensions) {
  EXPECT_EQ(StripSurplusExtensions(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    BaseNames, StripTest,
    ::testing::Values(
        StripCase{"abc.abc.txt", "abc"}, StripCase{"archive.tar", "archive"},
        StripCase{"my.photo.jpeg", "my"}, StripCase{"abc.backup", "abc.backup"},
        StripCase{"report.copy.2.final", "report"}, StripCase{"a.", "a"},
        StripCase{"a..", "a"}, StripCase{".", "."}, StripCase{".txt", ""},
        StripCase{"abc", "abc"}, StripCase{"x.123456.abc", "x.123456"},
        // Characters, not bytes, are counted.
        StripCase{"报告.草稿", "报告"},
        StripCase{"报告.第一次修改稿", "报告.第一次修改稿"},
        StripCase{"data.2024", "data"}));

struct MatchCase {
  std::string name;
  std::string from_ext;
  bool matches;
};

class MatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchTest, ComparesLowerCasedExtensions) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(MatchesFromExt(c.name, c.from_ext), c.matches)
      << c.name << " / " << c.from_ext;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, MatchTest,
    ::testing::Values(
        MatchCase{"Photo.JPG", "jpg", true},
        MatchCase{"photo.jpg", "JPG", true}, MatchCase{"README", "*", true},
        MatchCase{"README", "txt", false}, MatchCase{"a.txt", ".txt", false},
        MatchCase{"a.txt", "*.*", false}, MatchCase{"a.txt", "t*", false},
        MatchCase{"a.txt", "", false}, MatchCase{"README", "", true},
        MatchCase{"ФОТО.ÄBC", "äbc", true},
        MatchCase{"straße.ΣΑΣ", "σασ", true},
        MatchCase{"a.ＴＸＴ", "ｔｘｔ", true}, MatchCase{"a.txt", "tx", false},
        // Not UTF-8: compared byte-wise, ASCII lowered.
        MatchCase{"bad\xff.TXT", "txt", true},
        MatchCase{"bad.\xC0\xAF", "\xC0\xAF", true},
        MatchCase{"bad.\xC0\xAF", "/", false}));

TEST(TargetFileNameTest, JoinsWithADotAndChangesNothing) {
  EXPECT_EQ(TargetFileName("report", "Txt"), "report.Txt");
  EXPECT_EQ(TargetFileName("", "txt"), ".txt");
  EXPECT_EQ(TargetFileName(" a ", " b"), " a . b");
}

TEST(NameRulesTest, TogetherTheyNameTheCopy) {
  struct Case {
    std::string name;
    bool strip;
    std::string copy;
  };
  const Case cases[] = {{"abc.abc.txt.txt", true, "abc.txt"},
                        {"abc.abc.txt.txt", false, "abc.abc.txt.txt"},
                        {"data.2024.csv", true, "data.txt"},
                        {"data.2024.csv", false, "data.2024.txt"},
                        {"README", true, "README.txt"},
                        {"..", true, "..txt"}};
  for (const Case& c : cases) {
    std::string base = BaseName(c.name);
    if (c.strip) base = StripSurplusExtensions(base);
    EXPECT_EQ(TargetFileName(base, "txt"), c.copy) << c.name;
  }
}

}  // namespace
}  // namespace batchext
