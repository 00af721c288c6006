#include <unistd.h>

#include "fs/console.h"

namespace batchext {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareUtf8Console() {}

void WriteText(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

bool DrawsEscapes(std::FILE* stream) { return IsTerminal(stream); }

namespace {

// A signal handler can reach nothing else.
volatile std::sig_atomic_t* g_stop = nullptr;

// Ctrl-C, a polite kill and a closed terminal all stop the run.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnInterrupt(int) {
  *g_stop = 1;
  // A second one ends the program at once.
  for (const int signal : kStopSignals) std::signal(signal, SIG_DFL);
}

}  // namespace

void WatchStopRequests(volatile std::sig_atomic_t& stop) {
  g_stop = &stop;
  for (const int signal : kStopSignals) std::signal(signal, OnInterrupt);
}

}  // namespace batchext
