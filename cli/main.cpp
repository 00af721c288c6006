#include <csignal>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "fs/console.h"

namespace {

// A signal handler can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  batchext::PrepareUtf8Console();
  const auto parsed =
      batchext::ParseCommandLine(batchext::Utf8Arguments(argc, argv));
  if (!parsed.options) return parsed.exit_code;
  std::signal(SIGINT, OnInterrupt);
  return batchext::RunConversion(*parsed.options, g_interrupted);
}
