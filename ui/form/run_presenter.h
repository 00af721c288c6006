#pragma once

#include <functional>
#include <string>

#include "engine/conversion_run.h"
#include "engine/conversion_settings.h"
#include "ui/form/run_texts.h"
#include "ui/form/show_message.h"

namespace batchext {

// Shows the closing box of a run, with the report it sums up.
using ShowSummary =
    std::function<void(const Message& summary, const ConversionReport& report)>;

// Where the boxes of a run go.
struct RunMessages {
  ShowMessage show;
  // The summary, told apart from every other box; left empty, it goes
  // through `show` like them.
  ShowSummary show_summary = nullptr;
};

// Runs the request as RunConversion does and shows its boxes as they fall
// due: a refusal's one box; each target folder that cannot be used, at its
// place in the walk; then the summary, or the failure that ended the run.
ConversionReport StartConversion(ConversionSettings& settings,
                                 const std::string& from_text,
                                 const std::string& to_text,
                                 const RunMessages& messages,
                                 const ConversionObserver& observer = {},
                                 const RunOptions& run_options = {});

// Converts one folder as ConvertTree does, showing a box for each target
// folder that cannot be used, at its place in the walk; no summary.
ConversionReport ConvertFolder(ConversionSettings& settings,
                               const FolderPath& source,
                               const FolderPath& target,
                               const ShowMessage& show,
                               const ConversionObserver& observer = {},
                               const RunOptions& run_options = {});

}  // namespace batchext
