#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace batchext::testing {

// What a finished child left behind. Line ends are "\n" on every platform.
struct ChildResult {
  // The exit status, or 128 plus the signal that ended the child.
  int exit_code = -1;
  std::string out;
  std::string err;
};

struct ChildOptions {
  // Gives the child a pseudo-terminal as its stderr (POSIX only), so that
  // output meant for people only is drawn.
  bool stderr_is_terminal = false;
};

// Runs `program` with `arguments` (UTF-8, program name not included) and
// waits for it; stdin is empty, stdout and stderr are captured.
ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

#ifndef _WIN32
// A child that can be watched and signalled while it runs.
class RunningChild {
 public:
  RunningChild(const std::string& program,
               const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;
  // Kills and reaps a child still running, so no test leaves one behind.
  ~RunningChild();

  // Reads output until stdout holds at least `bytes`; false when both
  // streams closed first.
  bool WaitForStdout(std::size_t bytes);
  void Signal(int signal_number);
  // Reads the rest of the output and reaps the child.
  ChildResult Finish();

 private:
  // One read from whichever stream is ready; false once both are closed.
  bool ReadSome();

  int pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  ChildResult result_;
};
#endif

}  // namespace batchext::testing
