#include "fs/finished_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

namespace batchext {
namespace {

// Opens `count` descriptors one after another, each the lowest free.
std::vector<int> OpenInARow(int count) {
  std::vector<int> opened;
  for (int i = 0; i < count; ++i) {
    opened.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  return opened;
}

bool IsOpen(int descriptor) { return ::fcntl(descriptor, F_GETFD) != -1; }

TEST(FinishedFilesTest, ClosesWhatItWasGivenAndNothingBetween) {
  struct Case {
    const char* name;
    int opened;
    // Indexes into the descriptors opened, in the order given.
    std::vector<int> given;
    bool close_all;
    // Given to a second batch, which then takes over the first's.
    bool pooled = false;
  };
  const Case cases[] = {
      {"a run", 4, {0, 1, 2, 3}, true},
      {"out of order", 4, {3, 1, 0, 2}, true},
      {"gaps kept open", 7, {0, 2, 3, 6}, true},
      {"one", 2, {1}, true},
      {"pooled from two batches", 5, {0, 1, 3, 4}, true, true},
      {"a full batch closes itself",
       17,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int> opened = OpenInARow(c.opened);
    std::vector<bool> given(opened.size(), false);
    {
      FinishedFiles finished;
      FinishedFiles other;
      for (std::size_t i = 0; i < c.given.size(); ++i) {
        const auto index = static_cast<std::size_t>(c.given[i]);
        (c.pooled && i % 2 ? other : finished).Add(opened[index]);
        given[index] = true;
      }
      finished.TakeFrom(other);
      EXPECT_TRUE(other.empty());
      if (c.close_all) finished.CloseAll();
      for (std::size_t i = 0; i < opened.size(); ++i) {
        EXPECT_EQ(IsOpen(opened[i]), !given[i]) << "descriptor " << i;
      }
    }
    for (std::size_t i = 0; i < opened.size(); ++i) {
      if (!given[i]) ::close(opened[i]);
    }
  }
}

}  // namespace
}  // namespace batchext
