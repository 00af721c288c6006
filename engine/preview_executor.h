#pragma once

#include <memory>
#include <string>

#include "engine/executor.h"
#include "engine/run_reporter.h"

namespace batchext {

// Tells what each decision would come to and writes nothing. It checks
// what can be known beforehand: that the source can be read and that the
// target folder takes new entries.
class PreviewExecutor final : public Executor {
 public:
  explicit PreviewExecutor(RunReporter& reporter) : reporter_(reporter) {}

  void Folder(const ChainedPath::Ptr& source,
              const ChainedPath::Ptr& target) override {
    reporter_.Folder(source, target);
  }
  void FolderFailed(FolderFailure failure) override {
    reporter_.FolderFailed(failure);
  }
  bool File(FileDecision decision) override;
  void Settle() override {}
  bool StopRequested() override { return reporter_.AskStop(); }
  bool Stopped() const override { return reporter_.stopped(); }

 private:
  CopyResult Predict(const FileDecision& decision);

  RunReporter& reporter_;
  // The folder whose answer is kept, so that it is asked once.
  std::shared_ptr<const FolderPair> asked_folder_;
  std::string folder_refusal_;
};

}  // namespace batchext
