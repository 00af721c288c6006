#include <windows.h>

#include <cstdint>

#include "fs/process_time.h"

namespace batchext {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

std::chrono::nanoseconds ProcessCpuTime() {
  FILETIME created{}, ended{}, kernel{}, user{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel,
                         &user)) {
    return {};
  }
  // In units of 100 ns.
  return std::chrono::nanoseconds((Ticks(kernel) + Ticks(user)) * 100);
}

}  // namespace batchext
