#include "engine/conversion_run.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include "engine/copy_executor.h"
#include "engine/file_count.h"
#include "engine/preview_executor.h"
#include "engine/run_reporter.h"
#include "engine/tree_walk.h"
#include "fs/folder_handle.h"
#include "fs/path_ops.h"

namespace batchext {

int DefaultJobsCap() { return 4; }

int DefaultJobs() {
  // A copy spends much of its time waiting in the kernel, for a lock or the
  // disk: two per core kept both cores of the test machine busier than one.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(2 * cores, 1, DefaultJobsCap());
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
    executor = std::make_unique<CopyExecutor>(
        run_options.jobs > 0 ? run_options.jobs : DefaultJobs(),
        open_file_limit, reporter);
  }
  TreeWalk(WalkRules{settings.FromExt, settings.ToExt,
                     settings.StripSurplusExtensions,
                     settings.IncludeSubfolders, run_options.preview},
           *executor, reporter.written())
      .Run(source, target);
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

}  // namespace batchext
