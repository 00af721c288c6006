#include "cli/cli_runner.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "cli/cli_presenter.h"
#include "cli/shown_path.h"
#include "engine/conversion_run.h"
#include "engine/undo_run.h"
#include "fs/console.h"
#include "fs/path_ops.h"
#include "fs/state_folder.h"
#include "ui/form/run_presenter.h"
#include "ui/form/run_texts.h"

namespace batchext {
namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
  WriteText(stream, line + "\n");
}

int ExitStatus(const ConversionReport& report, bool interrupted) {
  if (report.refused()) return kExitRefused;
  if (interrupted || report.stopped) return kExitInterrupted;
  if (report.failed > 0 || !report.folder_failures.empty() ||
      !report.error.empty()) {
    return kExitFailures;
  }
  return kExitClean;
}

}  // namespace

int UndoCommandLine() {
  const UndoReport report = UndoLastRun(StateFolder());
  for (const KeptEntry& entry : report.kept) {
    PrintLine(stderr, "未撤销：" + KeptLine(entry));
  }
  const Message message = UndoMessage(report);
  PrintLine(report.refused() ? stderr : stdout,
            message.title + ": " + message.text);
  if (report.refused()) return kExitRefused;
  return report.kept.empty() ? kExitClean : kExitFailures;
}

int RunCommandLine(const CliOptions& options,
                   const volatile std::sig_atomic_t& interrupted) {
  if (options.undo) return UndoCommandLine();
  ConversionSettings settings;
  settings.FromFolder = options.source;
  settings.TargetFolder = options.target;
  // Unlike a folder picker, a command line can be mistyped.
  if (!FolderExists(settings.FromFolder.text())) {
    PrintLine(stderr, "batchext-cli: 来源文件夹不存在：" +
                          ShownPath(options.source.text()));
    return kExitRefused;
  }
  settings.IncludeSubfolders = options.recursive;
  settings.StripSurplusExtensions = options.strip;

  CliPresenter presenter(options);
  ConversionObserver observer = presenter.Observer();
  observer.stop_requested = [&] { return interrupted != 0; };
  const ConversionReport report =
      StartConversion(settings, options.from_ext, options.to_ext,
                      presenter.Messages(), observer,
                      RunOptions{.jobs = options.jobs,
                                 .preview = options.dry_run,
                                 .journal_folder = StateFolder(),
                                 .move = options.move});
  if (const std::string notice = UndoNotice(report); !notice.empty()) {
    PrintLine(stderr, notice);
  }
  return ExitStatus(report, interrupted != 0);
}

int FinishStandardOutput(int status, bool output_was_open) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
  int error = errno;
  const bool closed = std::fclose(stdout) == 0;
  if (flushed && !closed) error = errno;
  if (output_was_open && flushed && closed) return status;
  if (!output_was_open) error = EBADF;
  PrintLine(stderr,
            "batchext-cli: 无法写入标准输出：" +
                std::system_category().message(error == 0 ? EIO : error));
  return status == kExitClean ? kExitFailures : status;
}

}  // namespace batchext
