#include "engine/claimed_files.h"

#include <gtest/gtest.h>

namespace batchext {
namespace {

TEST(ClaimedFilesTest, HoldsWhatWasInsertedOnEachDeviceThroughGrowth) {
  ClaimedFiles claimed;
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
}

}  // namespace
}  // namespace batchext
