#include <io.h>
#include <windows.h>

#include "fs/console.h"
#include "fs/win_support.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace batchext {
namespace {

HANDLE HandleOf(std::FILE* stream) {
  const int fd = ::_fileno(stream);
  // A program without a console has no descriptor behind its streams.
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  // Unlike _isatty, not fooled by the NUL device.
  DWORD mode = 0;
  return ::GetConsoleMode(HandleOf(stream), &mode) != 0;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  // argv is in the system code page, which cannot hold every name.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void PrepareUtf8Console() {
  ::SetConsoleOutputCP(CP_UTF8);
  // The progress line redraws itself with terminal escapes.
  for (std::FILE* stream : {stdout, stderr}) {
    DWORD mode = 0;
    if (::GetConsoleMode(HandleOf(stream), &mode)) {
      ::SetConsoleMode(HandleOf(stream),
                       mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
  }
}

}  // namespace batchext
