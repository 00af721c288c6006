#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "engine/conversion_settings.h"
#include "engine/run_events.h"
#include "fs/folder_path.h"

namespace batchext {

// How a run goes about its work.
struct RunOptions {
  // Copies at work at once. 1 copies one file after another on the calling
  // thread; 0 stands for DefaultJobs(), and more up to DefaultJobsCap()
  // while the copies wait for the disk. None of it changes what the run
  // does.
  int jobs = 0;
  // Decides everything as a run would and writes nothing.
  bool preview = false;
  // Where the run's journal goes, so that it can be taken back; "" keeps
  // none (and keeps no replaced file). A preview keeps none either.
  std::string journal_folder = {};
  // Renames each file into its new name instead of copying it, under the
  // same decisions; one file after another, so that a stop or a kill leaves
  // an unbroken run of moved files.
  bool move = false;
  // Where the run reads the processor time spent busy; empty for the
  // system's. Tests stand in for it.
  std::function<std::chrono::nanoseconds()> cpu_clock = {};
};

// Journals kept in a journal folder; older ones are deleted as runs start.
inline constexpr std::size_t kKeptJournals = 30;

// As many as the usable cores, at least two: where the copies keep the
// processors busy, more only queue for the kernel's locks. Where they wait
// for a disk instead, the run adds jobs up to DefaultJobsCap(), keeping
// more reads in flight.
int DefaultJobs();
int DefaultJobsCap();

// Validates the request (texts as typed), resets the counters and runs the
// conversion of settings.FromFolder into settings.TargetFolder. A refused
// request writes nothing and leaves the counters alone.
ConversionReport RunConversion(ConversionSettings& settings,
                               const std::string& from_text,
                               const std::string& to_text,
                               const ConversionObserver& observer = {},
                               const RunOptions& run_options = {});

// Converts one folder, and the tree below it when subfolders are included,
// with the extensions already in `settings`; adds to its counters.
ConversionReport ConvertTree(ConversionSettings& settings,
                             const FolderPath& source, const FolderPath& target,
                             const ConversionObserver& observer = {},
                             const RunOptions& run_options = {});

}  // namespace batchext
