#include <time.h>

#include "fs/process_time.h"

namespace batchext {

std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return {};
  return std::chrono::seconds(now.tv_sec) +
         std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace batchext
