#include <unistd.h>

#include "fs/console.h"

namespace batchext {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareUtf8Console() {}

}  // namespace batchext
