#include "fs/process_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace batchext {
namespace {

// Busy on this thread for a while: the processors' busy time grows at least
// by that much, and at most by every processor's wall time.
TEST(BusyProcessorTimeTest, GrowsWithWorkDoneAndNoFasterThanTheClock) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const std::chrono::nanoseconds busy_before = BusyProcessorTime();
  volatile unsigned long spin = 0;
  while (Clock::now() - start < std::chrono::milliseconds(300)) spin = spin + 1;
  const std::chrono::nanoseconds busy = BusyProcessorTime() - busy_before;
  const auto wall = Clock::now() - start;
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  // The system counts in ticks of 10 ms or less.
  EXPECT_GE(busy, std::chrono::milliseconds(200));
  EXPECT_LE(busy, wall * processors + std::chrono::milliseconds(40));
}

}  // namespace
}  // namespace batchext
