#include "cli/cli_runner.h"

#include <cstdio>
#include <string>

#include "cli/progress_line.h"
#include "engine/conversion_run.h"
#include "fs/console.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

// What the run showed, for the exit status.
struct RunRecord {
  bool walk_started = false;
  bool summary_shown = false;
  bool problem_shown = false;
  long long files_handled = 0;
};

void PrintLine(std::FILE* stream, const std::string& line) {
  WriteText(stream, line + "\n");
}

int ExitStatus(const RunRecord& record, const ConversionSettings& settings,
               bool interrupted) {
  if (!record.walk_started && !record.summary_shown) return kExitRefused;
  if (interrupted) return kExitInterrupted;
  if (!record.summary_shown || record.problem_shown || settings.FailCount > 0) {
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

  RunRecord record;
  ProgressLine progress(stderr, !options.quiet && DrawsEscapes(stderr));
  std::string current_folder;

  ConversionObserver observer;
  observer.on_folder = [&](const std::string& source, const std::string&) {
    record.walk_started = true;
    current_folder = source;
    progress.Update(record.files_handled, current_folder);
  };
  observer.on_file = [&](const FileOutcome& outcome) {
    ++record.files_handled;
    if (outcome.converted && options.verbose) {
      progress.Clear();
      PrintLine(stdout, outcome.source + " -> " + outcome.destination);
    } else if (!outcome.converted) {
      progress.Clear();
      PrintLine(stderr, "失败：" + outcome.source + " -> " +
                            outcome.destination + "：" + outcome.reason);
    }
    progress.Update(record.files_handled, current_folder);
  };
  observer.stop_requested = [&] { return interrupted != 0; };

  const ShowMessage show = [&](const std::string& text,
                               const std::string& title, MessageStyle style) {
    progress.Clear();
    if (style == MessageStyle::kInformation) {
      record.summary_shown = true;
      PrintLine(stdout, title + ": " + text);
    } else {
      record.problem_shown = true;
      PrintLine(stderr, title + ": " + text);
    }
  };

  StartConversion(settings, options.from_ext, options.to_ext, show, observer);
  std::fflush(stdout);
  return ExitStatus(record, settings, interrupted != 0);
}

}  // namespace batchext
