#include "fs/text_case.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace batchext {
namespace {

TEST(ToLowerCaseTest, SimpleUnicodeMappingAndByteSafeFallback) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", ""},
      {"TXT", "txt"},
      {"ÄBC", "äbc"},
      {"ΣΑΣ", "σασ"},  // Simple mapping: no final-sigma context.
      {"ＴＸＴ", "ｔｘｔ"},
#ifndef _WIN32
      // The platform's own mapping decides: ICU lowers it, Windows' invariant
      // table (as Wine has it) keeps it.
      {"İ", "i"},  // Simple mapping: one code point.
#endif
      {"照片", "照片"},
      {"\377ABC", "\377abc"},              // Not UTF-8.
      {"\xC3\x84\xC3", "\xC3\x84\xC3"},    // Cut-off sequence.
      {"\xED\xA0\x80X", "\xED\xA0\x80x"},  // Encoded surrogate.
  };
  for (const Case& c : cases) EXPECT_EQ(ToLowerCase(c.in), c.out) << c.in;
}

// Names a case-insensitive folder takes for one must share a key; a shared
// key for names it tells apart costs only speed, so those are not asked.
TEST(CaseFoldKeyTest, JoinsNamesAFoldingFolderJoins) {
  const std::pair<std::string, std::string> same[] = {
      {"Notes.TXT", "notes.txt"},
      {"ÄBC.txt", "äbc.txt"},
      {"ФОТО", "фото"},
      {"ＴＸＴ", "ｔｘｔ"},
#ifndef _WIN32
      // Linux folds fully and compares canonical forms.
      {"STRASSE", "straße"},
      {"\xC3\xA9", "e\xCC\x81"},
      {"\xE2\x84\xAA", "k"},  // Kelvin sign.
#endif
  };
  for (const auto& [a, b] : same)
    EXPECT_EQ(CaseFoldKey(a), CaseFoldKey(b)) << a;
  EXPECT_NE(CaseFoldKey("a.txt"), CaseFoldKey("b.txt"));
  EXPECT_NE(CaseFoldKey("照片1"), CaseFoldKey("照片2"));
  EXPECT_EQ(CaseFoldKey("\377AB"), CaseFoldKey("\377ab"));
}

}  // namespace
}  // namespace batchext
