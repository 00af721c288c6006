#include "ui/form/run_presenter.h"

#include <utility>

namespace batchext {
namespace {

void Show(const ShowMessage& show, const Message& message) {
  show(message.text, message.title, message.style);
}

// The engine tells of a target folder's failure at its place in the walk;
// the box comes before anyone else hears of it, as the person sees it.
ConversionObserver WithTargetBoxes(ConversionObserver observer,
                                   const ShowMessage& show) {
  observer.on_folder_failure =
      [&show, on_failure = std::move(observer.on_folder_failure)](
          const FolderFailure& failure) {
        if (failure.in_target) Show(show, TargetFolderMessage());
        if (on_failure) on_failure(failure);
      };
  return observer;
}

// The chosen source folder, when it could not be read at all.
const FolderFailure* UnreadableSource(const ConversionReport& report) {
  for (const FolderFailure& failure : report.folder_failures) {
    if (failure.chosen && !failure.in_target) return &failure;
  }
  return nullptr;
}

}  // namespace

ConversionReport StartConversion(ConversionSettings& settings,
                                 const std::string& from_text,
                                 const std::string& to_text,
                                 const RunMessages& messages,
                                 const ConversionObserver& observer,
                                 const RunOptions& run_options) {
  const ConversionReport report =
      RunConversion(settings, from_text, to_text,
                    WithTargetBoxes(observer, messages.show), run_options);
  if (report.refused()) {
    Show(messages.show, RefusalMessage(report.refusal));
  } else if (!report.error.empty()) {
    Show(messages.show, RunErrorMessage(report.error));
  } else if (const FolderFailure* source = UnreadableSource(report)) {
    Show(messages.show, SourceFolderMessage(settings.FromFolder, *source));
  } else {
    const Message summary = SummaryMessage(report);
    if (messages.show_summary) {
      messages.show_summary(summary, report);
    } else {
      Show(messages.show, summary);
    }
  }
  return report;
}

ConversionReport ConvertFolder(ConversionSettings& settings,
                               const FolderPath& source,
                               const FolderPath& target,
                               const ShowMessage& show,
                               const ConversionObserver& observer,
                               const RunOptions& run_options) {
  return ConvertTree(settings, source, target, WithTargetBoxes(observer, show),
                     run_options);
}

}  // namespace batchext
