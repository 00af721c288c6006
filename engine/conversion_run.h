#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_settings.h"
#include "fs/file_copy.h"

namespace batchext {

struct FileOutcome {
  std::string source;
  std::string destination;
  bool converted = false;
  // Why the file was not converted, in the user's language; empty on success.
  std::string reason;
  // In a preview, kWouldCreate or kWouldReplace tell a success apart.
  CopyStatus status = CopyStatus::kCopied;
};

// A folder the walk could not use; the walk goes on without it.
struct FolderFailure {
  std::string path;
  // In the user's language.
  std::string reason;
  // A folder of the target tree, which is also shown in a box; otherwise a
  // source folder that could not be read.
  bool in_target = false;
};

// Optional watcher of a run. Every member may be left empty.
struct ConversionObserver {
  std::function<void(const std::string& source_folder,
                     const std::string& target_folder)>
      on_folder;
  std::function<void(const FileOutcome&)> on_file;
  std::function<void(const FolderFailure&)> on_folder_failure;
  // Asked before each file and between chunks of a large one; true ends the
  // run, and a copy cut short is discarded and counted neither way.
  std::function<bool()> stop_requested;
};

// How a run goes about its work; none of it changes what the run does.
struct RunOptions {
  // Copies at work at once. 1 copies one file after another on the calling
  // thread; 0 stands for DefaultJobs().
  int jobs = 0;
};

// Twice the usable cores, at most DefaultJobsCap(): beyond that, measured,
// the copies only queued for the kernel's locks.
int DefaultJobs();
int DefaultJobsCap();

// What a run did, beside what it showed.
struct ConversionReport {
  // A box turned the request down before anything was written.
  bool refused = false;
  // Nothing was written: the counts are what the run would have made.
  bool preview = false;
  std::int32_t succeeded = 0;
  std::int32_t failed = 0;
  // A stop request ended the run early.
  bool stopped = false;
  std::vector<FolderFailure> folder_failures;
  // What ended the run unexpectedly, or empty.
  std::string error;
};

// Validates the request, runs the conversion and reports every outcome
// through `show`.
ConversionReport StartConversion(ConversionSettings& settings,
                                 const std::string& from_text,
                                 const std::string& to_text,
                                 const ShowMessage& show,
                                 const ConversionObserver& observer = {},
                                 const RunOptions& run_options = {});

// Converts one folder, and the tree below it when subfolders are included.
// The two folder paths are read as typed paths. Whatever the jobs, the
// observer hears of every folder and file in the walk's order, on the
// calling thread.
ConversionReport ConvertFolder(ConversionSettings& settings,
                               const std::string& source,
                               const std::string& target,
                               const ShowMessage& show,
                               const ConversionObserver& observer = {},
                               const RunOptions& run_options = {});

}  // namespace batchext
