#pragma once

#include <string>

#include "engine/file_decision.h"
#include "engine/run_events.h"

namespace batchext {

// Carries out what the walk decided, in the walk's order as far as anyone
// can tell, and hands every outcome to the run's reporter.
class Executor {
 public:
  virtual ~Executor() = default;

  virtual void Folder(const ChainedPath::Ptr& source,
                      const ChainedPath::Ptr& target) = 0;
  virtual void FolderFailed(FolderFailure failure) = 0;
  // False when the folder in hand has to end (a counter at its top).
  virtual bool File(FileDecision decision) = 0;
  // Returns once everything decided so far is carried out and told, so that
  // the walk may look at what it left.
  virtual void Settle() = 0;
  // Asks the run's watcher; once true, nothing more is carried out.
  virtual bool StopRequested() = 0;
  // What StopRequested last answered.
  virtual bool Stopped() const = 0;
  // Told before the walk makes a folder that is missing, when it was asked
  // to tell.
  virtual void FolderToBeMade(const ChainedPath::Ptr& folder,
                              const FolderHandle& parent) {
    (void)folder;
    (void)parent;
  }
};

}  // namespace batchext
