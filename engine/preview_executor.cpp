#include "engine/preview_executor.h"

namespace batchext {
namespace {

CopyResult Refused(std::string why) {
  return CopyResult{CopyStatus::kSystemError, std::move(why), 0, {}};
}

}  // namespace

bool PreviewExecutor::File(FileDecision decision) {
  return reporter_.File(decision, Predict(decision));
}

CopyResult PreviewExecutor::Predict(const FileDecision& decision) {
  switch (decision.action) {
    case FileAction::kFail:
      return CopyResult{decision.failure, decision.system_error, 0, {}};
    case FileAction::kUnchanged:
      return CopyResult::Of(CopyStatus::kSameFile);
    case FileAction::kCreate:
    case FileAction::kReplace:
      break;
  }
  const FolderPair& folders = *decision.folders;
  std::string why_not;
  if (!CanReadFile(folders.source, decision.name, why_not)) {
    return Refused(why_not);
  }
  // A move takes the name out of the source folder.
  if (decision.move && !FolderTakesEntries(folders.source, why_not)) {
    return Refused(why_not);
  }
  if (asked_folder_ != decision.folders) {
    asked_folder_ = decision.folders;
    folder_refusal_.clear();
    FolderTakesEntries(folders.target, folder_refusal_);
  }
  if (!folder_refusal_.empty()) return Refused(folder_refusal_);
  return CopyResult::Of(decision.action == FileAction::kReplace
                            ? CopyStatus::kWouldReplace
                            : CopyStatus::kWouldCreate);
}

}  // namespace batchext
