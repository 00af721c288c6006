#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "fs/standard_streams.h"

namespace batchext {

bool HoldStandardStreams() {
  bool output_open = true;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) output_open = false;
    // The lowest free descriptor is this one.
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  return output_open;
}

}  // namespace batchext
