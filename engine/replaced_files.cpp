#include "engine/replaced_files.h"

#include <utility>

namespace batchext {

ReplacedFiles::ReplacedFiles(
    std::function<std::string(const std::string&)> full_path)
    : full_path_(std::move(full_path)) {}

std::string ReplacedFiles::Keep(const FileDecision& decision) {
  const std::string path =
      full_path_(decision.folders->target_path->Join(decision.new_name));
  std::string why_not;
  std::string kept =
      trash_.Keep(decision.folders->target, decision.new_name, path, why_not);
  if (kept.empty()) {
    std::lock_guard lock(mutex_);
    if (miss_path_.empty()) {
      miss_path_ = path;
      miss_why_ = why_not;
    }
  }
  return kept;
}

void ReplacedFiles::Forget(const std::string& kept) { ForgetInTrash(kept); }

void ReplacedFiles::FirstMiss(std::string& path, std::string& why) const {
  std::lock_guard lock(mutex_);
  path = miss_path_;
  why = miss_why_;
}

}  // namespace batchext
