#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace batchext {

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// The program's arguments as UTF-8, whatever the platform's code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Lets the terminal show UTF-8 output.
void PrepareUtf8Console();

}  // namespace batchext
