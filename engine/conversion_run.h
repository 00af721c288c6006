#pragma once

#include <functional>
#include <string>

#include "engine/conversion_settings.h"

namespace batchext {

struct FileOutcome {
  std::string source;
  std::string destination;
  bool converted = false;
  // Why the file was not converted, in the user's language; empty on success.
  std::string reason;
};

// Optional watcher of a run. Every member may be left empty.
struct ConversionObserver {
  std::function<void(const std::string& source_folder,
                     const std::string& target_folder)>
      on_folder;
  std::function<void(const FileOutcome&)> on_file;
  // Asked before each file; true ends the run after the file in hand.
  std::function<bool()> stop_requested;
};

// Validates the request, runs the conversion and reports every outcome
// through `show`.
void StartConversion(ConversionSettings& settings, const std::string& from_text,
                     const std::string& to_text, const ShowMessage& show,
                     const ConversionObserver& observer = {});

// Converts one folder, and the tree below it when subfolders are included.
void ConvertFolder(ConversionSettings& settings, const std::string& source,
                   const std::string& target, const ShowMessage& show,
                   const ConversionObserver& observer = {});

}  // namespace batchext
