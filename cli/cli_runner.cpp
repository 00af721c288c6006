#include "cli/cli_runner.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "cli/progress_line.h"
#include "engine/conversion_run.h"
#include "fs/console.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
  WriteText(stream, line + "\n");
}

constexpr char kPreviewMark[] = "（预览，未写入任何文件）";

// What a preview says after "SOURCE -> DESTINATION".
std::string PredictedOutcome(const FileOutcome& outcome) {
  switch (outcome.status) {
    case CopyStatus::kWouldCreate:
      return "新建";
    case CopyStatus::kWouldReplace:
      return "替换";
    case CopyStatus::kSameFile:
      return "不变（就是来源文件本身）";
    default:
      return "失败：" + outcome.reason;
  }
}

int ExitStatus(const ConversionReport& report, bool interrupted) {
  if (report.refused) return kExitRefused;
  if (interrupted || report.stopped) return kExitInterrupted;
  if (report.failed > 0 || !report.folder_failures.empty() ||
      !report.error.empty()) {
    return kExitFailures;
  }
  return kExitClean;
}

}  // namespace

int RunConversion(const CliOptions& options,
                  const volatile std::sig_atomic_t& interrupted) {
  ConversionSettings settings;
  settings.FromFolder = TypedFolderPath(options.source);
  settings.TargetFolder = TypedFolderPath(options.target);
  // Unlike a folder picker, a command line can be mistyped.
  if (!FolderExists(settings.FromFolder)) {
    PrintLine(stderr, "batchext-cli: 来源文件夹不存在：" + options.source);
    return kExitRefused;
  }
  settings.IncludeSubfolders = options.recursive;
  settings.StripSurplusExtensions = options.strip;
  settings.preview = options.dry_run;

  ProgressLine progress(stderr, !options.quiet && DrawsEscapes(stderr));
  long long files_handled = 0;
  std::string current_folder;

  ConversionObserver observer;
  observer.on_folder = [&](const std::string& source, const std::string&) {
    current_folder = source;
    progress.Update(files_handled, current_folder);
  };
  observer.on_file = [&](const FileOutcome& outcome) {
    ++files_handled;
    if (options.dry_run) {
      progress.Clear();
      PrintLine(stdout, outcome.source + " -> " + outcome.destination + "：" +
                            PredictedOutcome(outcome));
    } else if (outcome.converted && options.verbose) {
      progress.Clear();
      PrintLine(stdout, outcome.source + " -> " + outcome.destination);
    } else if (!outcome.converted) {
      progress.Clear();
      PrintLine(stderr, "失败：" + outcome.source + " -> " +
                            outcome.destination + "：" + outcome.reason);
    }
    progress.Update(files_handled, current_folder);
  };
  observer.on_folder_failure = [&](const FolderFailure& failure) {
    progress.Clear();
    PrintLine(stderr, (failure.in_target ? "无法使用目标文件夹："
                                         : "无法读取文件夹：") +
                          failure.path + "：" + failure.reason);
  };
  observer.stop_requested = [&] { return interrupted != 0; };

  const ShowMessage show = [&](const std::string& text,
                               const std::string& title, MessageStyle style) {
    progress.Clear();
    // Only the summary is information.
    const bool summary = style == MessageStyle::kInformation;
    PrintLine(
        summary ? stdout : stderr,
        title + (summary && options.dry_run ? kPreviewMark : "") + ": " + text);
  };

  const ConversionReport report =
      StartConversion(settings, options.from_ext, options.to_ext, show,
                      observer, RunOptions{options.jobs});
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
