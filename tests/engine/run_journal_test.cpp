#include "engine/run_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace batchext {
namespace {

// Names may hold any byte a file system allows, the journal's separators
// included; a line that a power cut cut short is no record.
TEST(RunJournalTest, RecordsComeBackWholeAndACutLineIsDropped) {
  const std::vector<std::vector<std::string>> records = {
      {"plain", "a.txt"},
      {"tab\tin", "line\nfeed", "back\\slash\\t", ""},
      {"\\", "\\\\n"},
  };
  std::string text;
  for (const auto& fields : records) {
    AppendRecord(RecordKind::kCreate, fields, text);
  }
  const std::string whole = text;
  AppendRecord(RecordKind::kDone, std::vector<std::string>{"7", "cut"}, text);
  text.pop_back();
  for (const std::string& journal : {whole, text}) {
    const std::vector<JournalRecord> decoded = DecodeJournal(journal);
    ASSERT_EQ(decoded.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(decoded[i].kind, RecordKind::kCreate);
      EXPECT_EQ(decoded[i].fields, records[i]);
    }
  }
}

}  // namespace
}  // namespace batchext
