#include <csignal>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "fs/console.h"

namespace {

// Set from a signal or console handler, which can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;

}  // namespace

int main(int argc, char** argv) {
  batchext::PrepareUtf8Console();
  const auto parsed =
      batchext::ParseCommandLine(batchext::Utf8Arguments(argc, argv));
  if (!parsed.options) return parsed.exit_code;
  batchext::WatchStopRequests(g_interrupted);
  return batchext::RunConversion(*parsed.options, g_interrupted);
}
