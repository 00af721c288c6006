#pragma once

#include <string>
#include <vector>

#include "engine/executor.h"
#include "engine/replaced_files.h"
#include "engine/run_journal.h"
#include "engine/run_reporter.h"

namespace batchext {

// Stands before the executor that writes: holds decisions back until the
// changes they are about to make are in the journal, a batch in one write,
// then hands them on in their order.
class JournalingExecutor final : public Executor {
 public:
  // Without `keeper`, replaced files are kept nowhere.
  JournalingExecutor(Executor& inner, RunJournal& journal,
                     RunReporter& reporter, ReplacedFiles* keeper);

  void Folder(const ChainedPath::Ptr& source,
              const ChainedPath::Ptr& target) override;
  void FolderFailed(FolderFailure failure) override;
  bool File(FileDecision decision) override;
  void Settle() override;
  bool StopRequested() override { return inner_.StopRequested(); }
  bool Stopped() const override { return inner_.Stopped(); }
  void FolderToBeMade(const ChainedPath::Ptr& folder,
                      const FolderHandle& parent) override;

 private:
  // Writes the journal, then hands on what was held; false as the inner
  // executor's File, or on a stop.
  bool HandOn();

  Executor& inner_;
  RunJournal& journal_;
  RunReporter& reporter_;
  ReplacedFiles* keeper_;
  std::vector<FileDecision> held_;
};

}  // namespace batchext
