#include "ui/form/preview_list.h"

#include <utility>

#include "ui/form/run_texts.h"

namespace batchext {
namespace {

std::string FileText(const FileOutcome& outcome, PreviewList::Column column) {
  switch (column) {
    case PreviewList::Column::kSource:
      return outcome.source();
    case PreviewList::Column::kDestination:
      return outcome.destination();
    case PreviewList::Column::kResult:
      return PreviewOutcome(outcome);
  }
  return {};
}

// A folder stands in the column of the tree it belongs to.
std::string FolderText(const FolderFailure& failure,
                       PreviewList::Column column) {
  switch (column) {
    case PreviewList::Column::kSource:
      return failure.in_target ? "" : failure.path;
    case PreviewList::Column::kDestination:
      return failure.in_target ? failure.path : "";
    case PreviewList::Column::kResult:
      return PreviewOutcome(failure);
  }
  return {};
}

}  // namespace

ConversionObserver PreviewList::Watch(ConversionObserver inner) {
  ConversionObserver observer = std::move(inner);
  observer.on_file = [this, on_file = std::move(observer.on_file)](
                         const FileOutcome& outcome) {
    switch (outcome.status) {
      case CopyStatus::kWouldCreate:
        ++created_;
        break;
      case CopyStatus::kWouldReplace:
        ++replaced_;
        break;
      case CopyStatus::kSameFile:
        ++unchanged_;
        break;
      default:
        ++failed_;
        break;
    }
    rows_.emplace_back(outcome);
    if (on_file) on_file(outcome);
  };
  observer.on_folder_failure =
      [this, on_failure = std::move(observer.on_folder_failure)](
          const FolderFailure& failure) {
        rows_.emplace_back(failure);
        if (on_failure) on_failure(failure);
      };
  return observer;
}

std::string PreviewList::Text(std::size_t row, Column column) const {
  if (const auto* file = std::get_if<FileOutcome>(&rows_.at(row))) {
    return FileText(*file, column);
  }
  return FolderText(std::get<FolderFailure>(rows_.at(row)), column);
}

std::string PreviewList::CountsText() const {
  return PreviewCountsText(created_, replaced_, unchanged_, failed_, stopped_);
}

}  // namespace batchext
