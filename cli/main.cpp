#include <csignal>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "fs/console.h"
#include "fs/standard_streams.h"

namespace {

// A signal handler can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;

// Ctrl-C, a polite kill and a closed terminal all stop the run.
constexpr int kStopSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
  // A second one ends the program at once.
  for (const int signal : kStopSignals) std::signal(signal, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  const bool output_open = batchext::HoldStandardStreams();
  batchext::PrepareUtf8Console();
  const auto parsed =
      batchext::ParseCommandLine(batchext::Utf8Arguments(argc, argv));
  if (!parsed.options) {
    return batchext::FinishStandardOutput(parsed.exit_code, output_open);
  }
  for (const int signal : kStopSignals) std::signal(signal, OnInterrupt);
  return batchext::FinishStandardOutput(
      batchext::RunConversion(*parsed.options, g_interrupted), output_open);
}
