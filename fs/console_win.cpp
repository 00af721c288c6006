#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <string>

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

// What the console was like before, to put back at the end. It is shared
// with the shell that started us, and only the exit and control handlers,
// which get no context, can restore it: hence state at file scope.
struct SavedConsole {
  UINT code_page = 0;
  HANDLE handles[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  DWORD modes[2] = {0, 0};
  bool escapes[2] = {false, false};
  volatile std::sig_atomic_t* stop = nullptr;
};
SavedConsole g_saved;

void RestoreConsole() {
  for (int i = 0; i < 2; ++i) {
    if (g_saved.handles[i] != INVALID_HANDLE_VALUE) {
      ::SetConsoleMode(g_saved.handles[i], g_saved.modes[i]);
      g_saved.handles[i] = INVALID_HANDLE_VALUE;
    }
  }
  if (g_saved.code_page != 0) {
    ::SetConsoleOutputCP(g_saved.code_page);
    g_saved.code_page = 0;
  }
}

extern "C" void RestoreAtExit() { RestoreConsole(); }

BOOL WINAPI OnControl(DWORD event) {
  if (g_saved.stop == nullptr) return FALSE;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    if (*g_saved.stop == 0) {
      *g_saved.stop = 1;
      return TRUE;
    }
    // The second one ends the program the system's way.
    RestoreConsole();
    return FALSE;
  }
  // The console is closing or the session ends: the process is ended once
  // this returns, so the run gets a moment to discard a partial copy and
  // exit by itself.
  *g_saved.stop = 1;
  ::Sleep(4000);
  RestoreConsole();
  return FALSE;
}

int IndexOf(std::FILE* stream) {
  if (stream == stdout) return 0;
  if (stream == stderr) return 1;
  return -1;
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
  const UINT code_page = ::GetConsoleOutputCP();
  if (code_page != 0 && code_page != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
    g_saved.code_page = code_page;
  }
  // The progress line redraws itself with terminal escapes.
  for (std::FILE* stream : {stdout, stderr}) {
    const int i = IndexOf(stream);
    const HANDLE handle = HandleOf(stream);
    DWORD mode = 0;
    if (!::GetConsoleMode(handle, &mode)) continue;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
      g_saved.escapes[i] = true;
    } else if (::SetConsoleMode(handle,
                                mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
      g_saved.escapes[i] = true;
      g_saved.handles[i] = handle;
      g_saved.modes[i] = mode;
    }
  }
  std::atexit(RestoreAtExit);
}

void WriteText(std::FILE* stream, std::string_view text) {
  const HANDLE handle = HandleOf(stream);
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return;
  }
  // The C runtime's bytes would pass through the console's code page; text
  // does not. What the runtime holds goes first to keep the order.
  std::fflush(stream);
  const std::wstring wide = Utf8ToWide(text);
  DWORD written = 0;
  ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                  &written, nullptr);
}

bool DrawsEscapes(std::FILE* stream) {
  const int i = IndexOf(stream);
  return i >= 0 && g_saved.escapes[i] && IsTerminal(stream);
}

void WatchStopRequests(volatile std::sig_atomic_t& stop) {
  g_saved.stop = &stop;
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace batchext
