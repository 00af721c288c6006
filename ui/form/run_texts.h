#pragma once

#include <string>

#include "engine/conversion_run.h"
#include "ui/form/show_message.h"

// The words of a run, the same in every window and on the command line.
namespace batchext {

// The box that turns a request down; Refusal::kNone has none and answers
// an empty message.
Message RefusalMessage(Refusal refusal);

// Shown after every run that was not refused, with its counts.
Message SummaryMessage(const ConversionReport& report);

// Shown instead of the summary when the chosen source folder could not be
// read at all.
Message SourceFolderMessage(const FolderPath& folder,
                            const FolderFailure& failure);

// Shown for each folder of the target tree that could not be used.
Message TargetFolderMessage();

// Shown instead of the summary when something ended the run unexpectedly.
Message RunErrorMessage(const std::string& error);

// Why a file was not converted; "" for one that was.
std::string FailureReason(const FileOutcome& outcome);

// Why the walk could not use a folder.
std::string FolderFailureReason(const FolderFailure& failure);

}  // namespace batchext
