#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace batchext {

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// The program's arguments as UTF-8, whatever the platform's code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Lets the terminal show UTF-8 output. On Windows the console's earlier
// code page and modes come back when the program ends, however it ends.
void PrepareUtf8Console();

// Writes UTF-8 text as it is: as text to a console, as bytes to a file or a
// pipe.
void WriteText(std::FILE* stream, std::string_view text);

// True when the stream is a terminal that acts on cursor escape sequences
// instead of showing them.
bool DrawsEscapes(std::FILE* stream);

// Sets `stop` at the first Ctrl-C, SIGTERM or SIGHUP (on Windows Ctrl-C,
// Ctrl-Break and the closing of the console); a second one ends the program
// at once.
void WatchStopRequests(volatile std::sig_atomic_t& stop);

}  // namespace batchext
