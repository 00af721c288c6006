#include "engine/claimed_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/claimed_names.h"
#include "engine/name_set.h"

namespace batchext {
namespace {

TEST(ClaimedFilesTest, HoldsWhatWasInsertedOnEachDeviceThroughGrowth) {
  ClaimedFiles claimed;
  claimed.StartKeeping();
  // Consecutive numbers on two devices, and the number 0, which the table
  // uses for free slots.
  for (std::uint64_t index = 0; index < 5000; ++index) {
    claimed.Insert({1, index * 2});
    claimed.Insert({7, index * 3 + 1});
  }
  for (std::uint64_t index = 0; index < 5000; ++index) {
    ASSERT_TRUE(claimed.Contains({1, index * 2})) << index;
    ASSERT_TRUE(claimed.Contains({7, index * 3 + 1})) << index;
    ASSERT_FALSE(claimed.Contains({1, index * 2 + 1})) << index;
    ASSERT_FALSE(claimed.Contains({2, index * 2})) << index;
  }
  EXPECT_FALSE(claimed.Contains({7, 0}));
  // A failed question leaves a zero identity: it claims nothing, and is
  // never found even after one was kept.
  claimed.Insert({});
  EXPECT_FALSE(claimed.Contains({}));
}

// Keys that fold case on Windows are UTF-16 bytes, full of NULs.
TEST(NameSetsTest, TellKeysApartByEveryByteThroughGrowth) {
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) {
    keys.push_back(std::string("A\0.\0", 4) + std::to_string(i) +
                   std::string(1, '\0'));
  }
  NameSet names;
  ClaimedNames claimed([&](std::uint32_t position) { return keys[position]; });
  for (std::uint32_t i = 0; i < keys.size(); ++i) {
    ASSERT_TRUE(names.Insert(keys[i])) << i;
    ASSERT_FALSE(names.Insert(keys[i])) << i;
    claimed.Insert(keys[i], i);
  }
  for (const std::string& key : keys) {
    ASSERT_TRUE(names.Contains(key));
    ASSERT_TRUE(claimed.Contains(key));
    ASSERT_FALSE(names.Contains(key + '\0'));
    ASSERT_FALSE(claimed.Contains(key.substr(0, key.size() - 1)));
  }
}

}  // namespace
}  // namespace batchext
