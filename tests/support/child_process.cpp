#include "tests/support/child_process.h"

#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;
#endif

namespace batchext::testing {
namespace {

#ifdef _WIN32

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
  return wide;
}

// Quotes one argument so that the child's C runtime splits it back out
// unchanged, backslashes before quotes included.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() &&
      argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

// The child writes its streams in text mode.
std::string WithUnixLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result.push_back(text[i]);
  }
  return result;
}

void MakePipe(HANDLE& read_end, HANDLE& write_end) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
}

// Moves what is waiting in the pipe into `text`. False once the pipe is
// closed and empty.
bool DrainPipe(HANDLE pipe, std::string& text) {
  DWORD available = 0;
  if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
    return false;
  }
  while (available > 0) {
    char buffer[65536];
    DWORD got = 0;
    const DWORD wanted =
        available < sizeof(buffer) ? available : sizeof(buffer);
    if (!::ReadFile(pipe, buffer, wanted, &got, nullptr) || got == 0) {
      return false;
    }
    text.append(buffer, got);
    available -= got;
  }
  return true;
}

#else

[[noreturn]] void ThrowSystemError(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

void MakePipe(int& read_end, int& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) ThrowSystemError(errno, "pipe2");
  read_end = fds[0];
  write_end = fds[1];
}

// The master side of a new pseudo-terminal; `slave` receives the other side.
int OpenTerminal(int& slave) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) ThrowSystemError(errno, "posix_openpt");
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    const int error = errno;
    ::close(master);
    ThrowSystemError(error, "grantpt");
  }
  slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    const int error = errno;
    ::close(master);
    ThrowSystemError(error, "open pty");
  }
  return master;
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

#endif

}  // namespace

#ifdef _WIN32

ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions&) {
  std::wstring command_line = QuoteArgument(Widen(program));
  for (const std::string& argument : arguments) {
    command_line += L' ';
    command_line += QuoteArgument(Widen(argument));
  }
  HANDLE out_read, out_write, err_read, err_write;
  MakePipe(out_read, out_write);
  MakePipe(err_read, err_write);
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE nothing =
      ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  // The child holds its own copies; ours would keep the pipes open forever.
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  ::CloseHandle(nothing);
  if (!started) {
    ::CloseHandle(out_read);
    ::CloseHandle(err_read);
    throw std::runtime_error("cannot start " + program);
  }
  ChildResult result;
  // Both pipes are drained together so that neither can fill up and stall
  // the child.
  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    const std::size_t before = result.out.size() + result.err.size();
    if (out_open) out_open = DrainPipe(out_read, result.out);
    if (err_open) err_open = DrainPipe(err_read, result.err);
    if (result.out.size() + result.err.size() == before) ::Sleep(1);
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(out_read);
  ::CloseHandle(err_read);
  result.exit_code = static_cast<int>(code);
  result.out = WithUnixLineEnds(result.out);
  result.err = WithUnixLineEnds(result.err);
  return result;
}

#else

ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const ChildOptions& options) {
  RunningChild child(program, arguments, options);
  return child.Finish();
}

RunningChild::RunningChild(const std::string& program,
                           const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
  int out_write = -1;
  int err_write = -1;
  MakePipe(out_fd_, out_write);
  if (options.stderr_is_terminal) {
    err_fd_ = OpenTerminal(err_write);
  } else {
    MakePipe(err_fd_, err_write);
  }

  // Every descriptor here is close-on-exec, so the child keeps only these.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_write, 1);
  posix_spawn_file_actions_adddup2(&actions, err_write, 2);

  // The test runner may block or ignore signals; the child must not inherit
  // that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  std::string name = program;
  std::vector<std::string> copies = arguments;
  argv.push_back(name.data());
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(out_write);
  ::close(err_write);
  if (error != 0) {
    CloseIfOpen(out_fd_);
    CloseIfOpen(err_fd_);
    ThrowSystemError(error, "posix_spawn");
  }
  pid_ = pid;
}

RunningChild::~RunningChild() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CloseIfOpen(out_fd_);
  CloseIfOpen(err_fd_);
}

bool RunningChild::ReadSome() {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (out_fd_ < 0 && err_fd_ < 0) return false;
  // A negative descriptor is skipped by poll.
  if (::poll(fds, 2, -1) < 0) {
    if (errno == EINTR) return true;
    ThrowSystemError(errno, "poll");
  }
  int* const owners[2] = {&out_fd_, &err_fd_};
  std::string* const texts[2] = {&result_.out, &result_.err};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char buffer[65536];
    const ssize_t got = ::read(fds[i].fd, buffer, sizeof(buffer));
    if (got > 0) {
      texts[i]->append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      // A terminal whose other side is gone answers EIO instead of an end.
      CloseIfOpen(*owners[i]);
    }
  }
  return out_fd_ >= 0 || err_fd_ >= 0;
}

bool RunningChild::WaitForStdout(std::size_t bytes) {
  while (result_.out.size() < bytes) {
    if (!ReadSome()) return false;
  }
  return true;
}

void RunningChild::Signal(int signal_number) {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

ChildResult RunningChild::Finish() {
  while (ReadSome()) {
  }
  if (pid_ > 0) {
    int status = 0;
    pid_t reaped;
    do {
      reaped = ::waitpid(pid_, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    if (reaped < 0) ThrowSystemError(errno, "waitpid");
    pid_ = -1;
    result_.exit_code =
        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return result_;
}

#endif

}  // namespace batchext::testing
