#include "tests/support/child_process.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <future>
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;
#endif

namespace batchext::testing {

#ifdef _WIN32

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()),
                          std::system_category(), what);
}

// The child's C runtime splits this back into the very same argument:
// backslashes count double only before a quote or the closing quote.
std::wstring Quote(const std::string& utf8) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c :
       std::filesystem::path(std::u8string(utf8.begin(), utf8.end()))
           .wstring()) {
    if (c == L'"') quoted.append(backslashes + 1, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    quoted.push_back(c);
  }
  return quoted.append(backslashes, L'\\') + L'"';
}

std::string ReadAll(HANDLE pipe) {
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  ::CloseHandle(pipe);
  // The child writes its streams in text mode; no name holds a "\r".
  std::erase(text, '\r');
  return text;
}

}  // namespace

ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions&) {
  std::wstring command_line = Quote(program);
  for (const std::string& argument : arguments) {
    command_line += L' ' + Quote(argument);
  }
  // Ends [0] are ours, ends [1] the child's.
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE out[2], err[2];
  if (!::CreatePipe(&out[0], &out[1], &inherit, 0) ||
      !::CreatePipe(&err[0], &err[1], &inherit, 0)) {
    Fail("CreatePipe");
  }
  ::SetHandleInformation(out[0], HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(err[0], HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out[1];
  startup.hStdError = err[1];
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  // Copies of ours would keep the pipes open after the child ends.
  ::CloseHandle(out[1]);
  ::CloseHandle(err[1]);
  if (!started) Fail("CreateProcessW");
  // Both pipes are read at once, so neither can fill up and stall the child.
  auto err_text = std::async(std::launch::async, ReadAll, err[0]);
  ChildResult result;
  result.out = ReadAll(out[0]);
  result.err = err_text.get();
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  result.exit_code = static_cast<int>(code);
  return result;
}

#else

namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions& options) {
  // Ends [0] are ours, ends [1] the child's; none outlives the exec.
  int out[2], err[2];
  Check(::pipe2(out, O_CLOEXEC) == 0, "pipe2");
  if (options.stderr_is_terminal) {
    Check(::openpty(&err[0], &err[1], nullptr, nullptr, nullptr) == 0,
          "openpty");
    for (const int fd : err) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  } else {
    Check(::pipe2(err, O_CLOEXEC) == 0, "pipe2");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (options.stdout_path == nullptr) {
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else if (*options.stdout_path == '\0') {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, options.stdout_path, O_WRONLY,
                                     0);
  }
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  // A signal the test runner blocks would never reach the child.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  // posix_spawn only reads the texts.
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  for (const int fd : {out[1], err[1]}) ::close(fd);
  int fds[2] = {out[0], err[0]};
  if (error != 0) {
    for (const int fd : fds) ::close(fd);
    throw std::system_error(error, std::generic_category(), "posix_spawn");
  }

  ChildResult result;
  std::string* const streams[2] = {&result.out, &result.err};
  int pending_signal = options.signal_after_output;
  while (fds[0] >= 0 || fds[1] >= 0) {
    // poll skips a closed (negative) descriptor.
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (::poll(polled, 2, -1) < 0) Check(errno == EINTR, "poll");
    for (int i = 0; i < 2; ++i) {
      if (polled[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = ::read(fds[i], buffer, sizeof(buffer));
      if (got > 0) streams[i]->append(buffer, static_cast<std::size_t>(got));
      // A terminal whose other side is gone answers EIO, not an end.
      if (got == 0 || (got < 0 && errno != EINTR)) {
        ::close(std::exchange(fds[i], -1));
      }
    }
    if (pending_signal != 0 && !result.out.empty()) {
      ::kill(pid, std::exchange(pending_signal, 0));
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) Check(errno == EINTR, "waitpid");
  result.exit_code =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

#endif

}  // namespace batchext::testing
