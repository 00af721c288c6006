#include "engine/journaling_executor.h"

#include <cstdint>
#include <utility>

namespace batchext {
namespace {

// Decisions per journal write: a write costs far less than one file then.
constexpr std::size_t kBatch = 256;

}  // namespace

JournalingExecutor::JournalingExecutor(Executor& inner, RunJournal& journal,
                                       RunReporter& reporter,
                                       ReplacedFiles* keeper)
    : inner_(inner), journal_(journal), reporter_(reporter), keeper_(keeper) {
  held_.reserve(kBatch);
}

void JournalingExecutor::Folder(const ChainedPath::Ptr& source,
                                const ChainedPath::Ptr& target) {
  HandOn();
  inner_.Folder(source, target);
}

void JournalingExecutor::FolderFailed(FolderFailure failure) {
  HandOn();
  inner_.FolderFailed(std::move(failure));
}

bool JournalingExecutor::File(FileDecision decision) {
  if (decision.action == FileAction::kCreate ||
      decision.action == FileAction::kReplace) {
    decision.sequence = journal_.Intent(decision);
    decision.keeper = keeper_;
  }
  held_.push_back(std::move(decision));
  // Near its top a counter has to end the folder at the very file.
  if (held_.size() < kBatch &&
      reporter_.Headroom() > static_cast<std::int64_t>(2 * kBatch)) {
    return true;
  }
  return HandOn();
}

void JournalingExecutor::Settle() {
  HandOn();
  inner_.Settle();
}

void JournalingExecutor::FolderToBeMade(const ChainedPath::Ptr& folder,
                                        const FolderHandle& parent) {
  journal_.FolderToBeMade(folder, parent);
}

bool JournalingExecutor::HandOn() {
  if (held_.empty()) return true;
  journal_.Write();
  bool going = true;
  for (FileDecision& decision : held_) {
    // Asked before each file, as the walk asks when nothing is held.
    going = !inner_.StopRequested() && inner_.File(std::move(decision));
    if (!going) break;
  }
  held_.clear();
  return going;
}

}  // namespace batchext
