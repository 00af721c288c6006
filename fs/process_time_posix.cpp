#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "fs/process_time.h"

namespace batchext {

std::chrono::nanoseconds BusyProcessorTime() {
#ifdef __linux__
  // The first line sums every processor: user nice system idle iowait irq
  // softirq steal, in clock ticks. Stolen time was not ours to use.
  const int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char line[256];
  const ssize_t got = ::read(fd, line, sizeof line - 1);
  ::close(fd);
  if (got <= 0) return {};
  line[got] = '\0';
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0,
                     irq = 0, softirq = 0, steal = 0;
  if (std::sscanf(line, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user,
                  &nice, &system, &idle, &iowait, &irq, &softirq, &steal) < 4) {
    return {};
  }
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (ticks_per_second <= 0) return {};
  const unsigned long long busy = user + nice + system + irq + softirq + steal;
  return std::chrono::nanoseconds(static_cast<long long>(
      busy *
      (1000000000ULL / static_cast<unsigned long long>(ticks_per_second))));
#else
  return {};
#endif
}

}  // namespace batchext
