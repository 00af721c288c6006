#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "engine/file_decision.h"
#include "fs/trash.h"

namespace batchext {

// Keeps the entries that a run's copies replace in the desktop's trash, so
// that they can still be had, and an undo can put them back.
class ReplacedFiles {
 public:
  // `full_path` makes a path of the walk a full one.
  explicit ReplacedFiles(
      std::function<std::string(const std::string&)> full_path);

  // Gives the entry at the decision's new name a name in the trash before
  // the copy takes its place. Answers where, or "" where it could not be
  // kept; the replacement goes ahead all the same.
  std::string Keep(const FileDecision& decision);
  // Takes back a Keep whose replacement did not happen after all.
  void Forget(const std::string& kept);
  // Where, and why, the first entry could not be kept; both "" if none.
  void FirstMiss(std::string& path, std::string& why) const;

 private:
  const std::function<std::string(const std::string&)> full_path_;
  Trash trash_;
  mutable std::mutex mutex_;
  std::string miss_path_;
  std::string miss_why_;
};

}  // namespace batchext
