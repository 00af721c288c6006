#include "fs/text_case.h"

#include <gtest/gtest.h>

#include <string>

namespace batchext {
namespace {

TEST(ToLowerCaseTest, SimpleUnicodeMappingAndByteSafeFallback) {
  struct Case {
    std::string in;
    std::string out;
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
      {"\xff"
       "ABC",
       "\xff"
       "abc"},                             // Not UTF-8.
      {"\xC3\x84\xC3", "\xC3\x84\xC3"},    // Cut-off sequence.
      {"\xED\xA0\x80X", "\xED\xA0\x80x"},  // Encoded surrogate.
  };
  for (const Case& c : cases) EXPECT_EQ(ToLowerCase(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace batchext
