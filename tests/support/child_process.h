#pragma once

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

// POSIX only.
struct ChildOptions {
  // A pseudo-terminal as stderr, so output meant for people only is drawn.
  bool stderr_is_terminal = false;
  // Sent once, as soon as the child's stdout has shown its first bytes.
  int signal_after_output = 0;
  // When set, stdout is this file instead of a pipe; "" closes it.
  const char* stdout_path = nullptr;
};

// Runs `program` with `arguments` (UTF-8, without the program name) and
// waits for it. Throws std::system_error when the child cannot be set up.
ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

}  // namespace batchext::testing
