#include <csignal>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "fs/console.h"
#include "fs/standard_streams.h"

namespace {

// Set from a signal or console handler, which can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;

}  // namespace

int main(int argc, char** argv) {
  const bool output_open = batchext::HoldStandardStreams();
  batchext::PrepareUtf8Console();
  const auto parsed =
      batchext::ParseCommandLine(batchext::Utf8Arguments(argc, argv));
  if (!parsed.options) {
    return batchext::FinishStandardOutput(parsed.exit_code, output_open);
  }
  batchext::WatchStopRequests(g_interrupted);
  return batchext::FinishStandardOutput(
      batchext::RunCommandLine(*parsed.options, g_interrupted), output_open);
}
