#include "fs/file_move.h"

namespace batchext {

bool SameEntry(const PathState& before, const PathState& now) {
  return before.type == now.type && before.stamp == now.stamp &&
         (before.identity.IsZero() || now.identity.IsZero() ||
          before.identity == now.identity);
}

CopyResult MoveFileBack(const std::string& from, const std::string& to) {
  const PathState moved = StateAt(from);
  if (moved.type != EntryType::kRegular) {
    return CopyResult::Of(CopyStatus::kSourceNotRegularFile);
  }
  if (StateAt(to).type != EntryType::kNone) {
    return CopyResult::Of(CopyStatus::kDestinationProtected);
  }
  CopyResult result = RenamePath(from, to);
  if (!AcrossFileSystems(result)) return result;
  CopyOptions options;
  options.allow_replace = false;
  result = CopyFileTo(from, to, options);
  if (!result.Succeeded()) return result;
  // Changed while it was copied: both stay, nothing is lost.
  if (!SameEntry(moved, StateAt(from))) {
    return CopyResult::Of(CopyStatus::kSourceChanged);
  }
  return RemovePath(from);
}

}  // namespace batchext
