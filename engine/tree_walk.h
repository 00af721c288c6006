#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/claimed_files.h"
#include "engine/claimed_names.h"
#include "engine/executor.h"
#include "engine/file_decision.h"
#include "engine/name_rules.h"
#include "engine/name_set.h"
#include "fs/file_identity.h"
#include "fs/folder_path.h"

namespace batchext {

// What the walk needs to know of a request.
struct WalkRules {
  std::string from_ext;
  std::string to_ext;
  bool strip_surplus = false;
  bool include_subfolders = false;
  // Makes no folder; a folder that would be made is planned instead.
  bool preview = false;
  // Tells the executor of each folder before it is made.
  bool announce_folders = false;
  // The files themselves are to take their new names; a link is never
  // moved in place of the file it leads to.
  bool move = false;
};

// Walks the source tree depth first, files before subfolders, and decides
// for each matching file, in that order, what becomes of it. Decisions go
// to the executor; the walk never knows how many jobs carry them out.
//
// It holds one open source and target folder per level, so depth costs
// neither stack nor path length.
class TreeWalk {
 public:
  // `written` is what the run has written so far, complete whenever the
  // executor has settled.
  TreeWalk(WalkRules rules, Executor& executor, ClaimedFiles& written);

  void Run(const FolderPath& source, const FolderPath& target);

 private:
  // What the walk keeps of a level whose folders it let go, to open them
  // again when it comes back: only recent levels hold descriptors.
  struct Released {
    std::weak_ptr<const FolderPair> folders;
    ChainedPath::Ptr source_path;
    ChainedPath::Ptr target_path;
    FileIdentity source_id;
    // Empty where the target is planned.
    std::optional<FileIdentity> target_id;
    std::string planned_path;
    std::size_t planned_max_name_length = 0;
    CopyTraits traits;
  };

  // A folder whose files are decided and whose subfolders are walked.
  struct Level {
    // Empty while released, or once it could not be opened again.
    std::shared_ptr<const FolderPair> folders;
    std::optional<Released> released;
    NameTable subfolders;
    std::size_t next = 0;
    // The target folder lies in the source tree: nothing there is replaced.
    bool protect = false;
    bool folds_case = false;
    // The folder's files, and the new names they claimed as the target
    // compares names.
    std::shared_ptr<const NameTable> files;
    ClaimedNames claimed;
  };

  // What the decisions of one folder's files need to know of its target.
  struct TargetFolder {
    // Names standing there before the run wrote into it, as it compares
    // them; where it could not be listed, every name is looked at.
    NameSet entries;
    bool listed = false;
    bool same_as_source = false;
    bool folds_case = false;
    std::size_t max_name_length = 0;
  };

  bool OpenRoots(FolderHandle& source, FolderHandle& target, bool& target_made);
  // Lets go of the folders of levels beyond the most recent ones.
  void ReleaseOldLevels();
  // Ends the level in hand and opens the one below again where it was let
  // go.
  void Leave();
  // `index`'s folders opened by name from the nearest open level below;
  // otherwise empty, with the platform's words in `why`.
  std::shared_ptr<const FolderPair> ReopenFromBelow(std::size_t index,
                                                    std::string& why);
  static FolderHandle PlannedTarget(const Released& released);
  void EnterSubfolder(Level& parent, const std::string& name);
  // `plain_modes` is known for a folder the run made below one it knows.
  void Enter(FolderHandle source, FolderHandle target, bool target_made,
             bool protect, bool folds_case,
             std::optional<bool> plain_modes = std::nullopt);
  // What the decisions in a target folder need to know of it; waits for
  // the copies in flight where they could stand there.
  TargetFolder LookAtTarget(const FolderPair& folders, bool target_made,
                            bool folds_case);
  // False when the walk of this folder has to end.
  bool DecideFiles(const std::shared_ptr<const FolderPair>& folders,
                   const NameTable& names, std::size_t matching,
                   const TargetFolder& target, bool protect,
                   ClaimedNames& claimed);
  FileDecision Decide(const std::shared_ptr<const FolderPair>& folders,
                      const NameTable& names, std::uint32_t position,
                      const TargetFolder& target, bool protect,
                      ClaimedNames& claimed);
  std::string NewName(std::string_view name) const;
  static std::string Key(bool folds_case, std::string_view name);
  void SourceFailed(FolderError error, std::string system_error);
  void TargetFailed(FolderError error, std::string system_error);

  const WalkRules rules_;
  const ExtensionFilter filter_;
  Executor& executor_;
  ClaimedFiles& written_;
  std::vector<Level> levels_;
  // The folders in hand, as the observer is told them.
  ChainedPath::Ptr source_path_;
  ChainedPath::Ptr target_path_;
  std::optional<FileIdentity> source_root_;
  std::optional<FileIdentity> target_root_;
  // Decided once at the roots, so that no folder below has to climb.
  bool target_in_source_ = false;
  bool source_in_target_ = false;
  // Target folders entered so far: one met again (two source folders whose
  // names a case-folding target takes for one) holds copies of this run.
  std::unordered_set<FileIdentity, FileIdentityHash> targets_entered_;
  // Source and target trees meet somewhere.
  bool overlap_ = false;
};

}  // namespace batchext
