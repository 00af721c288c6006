#include "engine/conversion_run.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/copy_executor.h"
#include "engine/file_count.h"
#include "engine/journaling_executor.h"
#include "engine/preview_executor.h"
#include "engine/run_reporter.h"
#include "engine/tree_walk.h"
#include "fs/folder_handle.h"
#include "fs/journal_store.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/process_time.h"
#include "fs/trash.h"

namespace batchext {

int DefaultJobsCap() { return 16; }

int DefaultJobs() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 2, DefaultJobsCap());
}

ConversionReport RunConversion(ConversionSettings& settings,
                               const std::string& from_text,
                               const std::string& to_text,
                               const ConversionObserver& observer,
                               const RunOptions& run_options) {
  ConversionReport report;
  report.preview = run_options.preview;
  const auto refuse = [&](Refusal refusal) {
    report.refusal = refusal;
    return report;
  };
  if (settings.FromFolder.empty() || settings.TargetFolder.empty()) {
    return refuse(Refusal::kNoFolders);
  }
  settings.FromExt = TypedExtension(from_text);
  settings.ToExt = TypedExtension(to_text);
  if (settings.FromExt.empty()) settings.FromExt = "*";
  if (settings.ToExt.empty()) return refuse(Refusal::kNoToExt);
  if (settings.ToExt == settings.FromExt) return refuse(Refusal::kSameExt);
  // Such a suffix could write outside the target folder.
  if (!IsValidFileNamePart(settings.ToExt)) return refuse(Refusal::kBadToExt);
  settings.SuccessCount = 0;
  settings.FailCount = 0;
  try {
    report = ConvertTree(settings, settings.FromFolder, settings.TargetFolder,
                         observer, run_options);
  } catch (const std::exception& error) {
    report.error = error.what();
  }
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

namespace {

// The levels of a target folder that are missing, top first.
std::vector<std::string> MissingLevels(const FolderPath& target) {
  std::vector<std::string> missing;
  std::filesystem::path level = ToNativePath(target.text());
  while (!level.empty() && !level.has_filename() &&
         level.parent_path() != level) {
    level = level.parent_path();
  }
  while (!level.empty() && !FolderExists(FromNativePath(level))) {
    missing.insert(missing.begin(), FromNativePath(level));
    if (level.parent_path() == level) break;
    level = level.parent_path();
  }
  return missing;
}

// What a run keeps so that it can be taken back.
struct Recording {
  std::unique_ptr<RunJournal> journal;
  std::unique_ptr<ReplacedFiles> keeper;
  std::unique_ptr<JournalingExecutor> executor;
};

Recording StartRecording(const std::string& folder, const FolderPath& source,
                         const FolderPath& target, Executor& inner,
                         RunReporter& reporter, ConversionReport& report) {
  Recording recording;
  std::unique_ptr<JournalFile> file =
      JournalFile::Create(folder, report.journal_error);
  if (!file) return recording;
  PruneJournals(folder, kKeptJournals);
  recording.journal = std::make_unique<RunJournal>(std::move(file));
  RunJournal& journal = *recording.journal;
  ConversionSettings roots;
  roots.FromFolder = source;
  roots.TargetFolder = target;
  journal.Begin(roots);
  for (const std::string& level : MissingLevels(target)) {
    journal.FolderToBeMade(level);
  }
  if (Trash::Supported()) {
    recording.keeper = std::make_unique<ReplacedFiles>(
        [&journal](const std::string& path) { return journal.FullPath(path); });
  }
  reporter.WatchOutcomes(
      [&journal](const FileDecision& decision, const CopyResult& result) {
        journal.Outcome(decision, result);
      });
  recording.executor = std::make_unique<JournalingExecutor>(
      inner, journal, reporter, recording.keeper.get());
  return recording;
}

void FinishRecording(Recording& recording, ConversionReport& report) {
  if (!recording.journal) return;
  if (recording.journal->Finish()) {
    report.journal = recording.journal->path();
  }
  if (!recording.journal->Write() && report.journal_error.empty()) {
    report.journal_error = recording.journal->error();
  }
  if (recording.keeper) {
    recording.keeper->FirstMiss(report.unkept_path, report.unkept_why);
  }
}

}  // namespace

ConversionReport ConvertTree(ConversionSettings& settings,
                             const FolderPath& source, const FolderPath& target,
                             const ConversionObserver& observer,
                             const RunOptions& run_options) {
  ConversionReport report;
  report.preview = run_options.preview;
  std::optional<FileCount> count;
  if (observer.on_total && !run_options.preview) {
    count.emplace(source, target, settings.FromExt, settings.IncludeSubfolders);
  }
  RunReporter reporter(settings, observer, report, count ? &*count : nullptr);
  const std::size_t open_file_limit = RaiseOpenFileLimit();
  std::unique_ptr<Executor> executor;
  if (run_options.preview) {
    executor = std::make_unique<PreviewExecutor>(reporter);
  } else {
    const int jobs = run_options.move       ? 1
                     : run_options.jobs > 0 ? run_options.jobs
                                            : DefaultJobs();
    const int most_jobs =
        run_options.move || run_options.jobs > 0 ? jobs : DefaultJobsCap();
    executor = std::make_unique<CopyExecutor>(
        jobs, most_jobs, open_file_limit, reporter,
        run_options.cpu_clock ? run_options.cpu_clock : BusyProcessorTime);
  }
  Recording recording;
  if (!run_options.preview && !run_options.journal_folder.empty()) {
    recording = StartRecording(run_options.journal_folder, source, target,
                               *executor, reporter, report);
  }
  Executor& front = recording.executor ? *recording.executor : *executor;
  TreeWalk(WalkRules{settings.FromExt, settings.ToExt,
                     settings.StripSurplusExtensions,
                     settings.IncludeSubfolders, run_options.preview,
                     recording.executor != nullptr, run_options.move},
           front, reporter.written())
      .Run(source, target);
  FinishRecording(recording, report);
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

}  // namespace batchext
