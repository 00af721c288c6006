#include <windows.h>

#include <cstdint>

#include "fs/process_time.h"

namespace batchext {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

std::chrono::nanoseconds BusyProcessorTime() {
  FILETIME idle{}, kernel{}, user{};
  if (!::GetSystemTimes(&idle, &kernel, &user)) return {};
  // In units of 100 ns; the kernel's time holds the idle time.
  const std::uint64_t busy = Ticks(kernel) + Ticks(user) - Ticks(idle);
  return std::chrono::nanoseconds(busy * 100);
}

}  // namespace batchext
