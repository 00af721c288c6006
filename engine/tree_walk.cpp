#include "engine/tree_walk.h"

#include <exception>
#include <utility>

#include "fs/path_ops.h"
#include "fs/temporary_name.h"
#include "fs/text_case.h"

namespace batchext {
namespace {

// Levels that hold their folders open; those below are opened again when
// the walk comes back to them, so descriptors do not grow with depth.
constexpr std::size_t kOpenLevels = 8;

// A failure ends the folder in hand only; the walk goes on with the next.
template <typename Step>
bool Guarded(Step step) {
  try {
    return step();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

TreeWalk::TreeWalk(WalkRules rules, Executor& executor, ClaimedFiles& written)
    : rules_(std::move(rules)),
      filter_(rules_.from_ext),
      executor_(executor),
      written_(written) {}

void TreeWalk::Run(const FolderPath& source, const FolderPath& target) {
  if (source.empty() || target.empty()) return;
  source_path_ = ChainedPath::Root(source.text());
  target_path_ = ChainedPath::Root(target.text());
  FolderHandle source_folder;
  FolderHandle target_folder;
  bool target_made = false;
  if (Guarded([&] {
        return OpenRoots(source_folder, target_folder, target_made);
      })) {
    // An in-place run counts as the source tree.
    Enter(std::move(source_folder), std::move(target_folder), target_made,
          source_root_ == target_root_, false);
  }
  while (!levels_.empty() && !executor_.Stopped()) {
    Level& level = levels_.back();
    if (level.next == level.subfolders.size()) {
      Leave();
      continue;
    }
    const std::string name(level.subfolders[level.next++]);
    source_path_ = ChainedPath::Child(level.folders->source_path, name);
    target_path_ = ChainedPath::Child(level.folders->target_path, name);
    Guarded([&] {
      EnterSubfolder(level, name);
      return true;
    });
  }
  levels_.clear();
  executor_.Settle();
}

bool TreeWalk::OpenRoots(FolderHandle& source, FolderHandle& target,
                         bool& target_made) {
  // A source that cannot be read leaves no empty target behind.
  OpenedFolder opened_source = OpenFolder(source_path_->Text());
  if (!opened_source.folder.valid()) {
    SourceFailed(opened_source.error, opened_source.system_error);
    return false;
  }
  OpenedFolder opened_target = MakeFolder(target_path_->Text(), rules_.preview);
  if (!opened_target.folder.valid()) {
    TargetFailed(opened_target.error, opened_target.system_error);
    return false;
  }
  executor_.Folder(source_path_, target_path_);
  source = std::move(opened_source.folder);
  target = std::move(opened_target.folder);
  target_made = target.planned();
  source_root_ = IdentityOf(source);
  if (!target.planned()) target_root_ = IdentityOf(target);
  target_in_source_ =
      source_root_ && !target.planned() && LiesInside(target, *source_root_);
  source_in_target_ = target_root_ && LiesInside(source, *target_root_);
  overlap_ = target_in_source_ || source_in_target_;
  if (overlap_) written_.StartKeeping();
  return true;
}

void TreeWalk::EnterSubfolder(Level& parent, const std::string& name) {
  OpenedFolder source = OpenSubfolder(parent.folders->source, name);
  if (!source.folder.valid()) {
    SourceFailed(source.error, source.system_error);
    return;
  }
  // Entering the run's own target folder would copy the copies again.
  if (target_in_source_ && IdentityOf(source.folder) == target_root_) return;
  // A file of the parent may be about to take this very name.
  if (parent.claimed.Contains(Key(parent.folds_case, name))) {
    // Nothing stands there to look at, but the file is foretold.
    if (rules_.preview) {
      TargetFailed(FolderError::kNotFolder, {});
      return;
    }
    executor_.Settle();
  }
  if (rules_.announce_folders &&
      EntryAt(parent.folders->target, name).type == EntryType::kNone) {
    executor_.FolderToBeMade(target_path_, parent.folders->target);
  }
  OpenedFolder target =
      MakeSubfolder(parent.folders->target, name, rules_.preview);
  if (!target.folder.valid()) {
    TargetFailed(target.error, target.system_error);
    return;
  }
  const bool protect =
      parent.protect || (source_in_target_ && !target.folder.planned() &&
                         IdentityOf(target.folder) == source_root_);
  executor_.Folder(source_path_, target_path_);
  // A folder made now takes its parent's default access list, if any.
  const std::optional<bool> plain_modes =
      target.made ? std::optional<bool>(parent.folders->traits.plain_modes)
                  : std::nullopt;
  // Invalidates `parent`.
  Enter(std::move(source.folder), std::move(target.folder), target.made,
        protect, parent.folds_case, plain_modes);
}

void TreeWalk::ReleaseOldLevels() {
  if (levels_.size() <= kOpenLevels + 1) return;
  // The first level stays open: a level that cannot climb back starts
  // again from there.
  const std::size_t index = levels_.size() - 1 - kOpenLevels;
  Level& level = levels_[index];
  if (!level.folders || index == 0 || !levels_[index + 1].folders) return;
  const FolderPair& folders = *level.folders;
  const FolderHandle& above_target = levels_[index + 1].folders->target;
  // A folder that exists cannot be reached by climbing from a planned one.
  if (!folders.target.planned() && above_target.planned()) return;
  Released released{level.folders,
                    folders.source_path,
                    folders.target_path,
                    {},
                    std::nullopt,
                    folders.target.path(),
                    folders.target.planned_max_name_length(),
                    folders.traits};
  const std::optional<FileIdentity> source_id = IdentityOf(folders.source);
  if (!source_id) return;
  released.source_id = *source_id;
  if (!folders.target.planned()) {
    released.target_id = IdentityOf(folders.target);
    if (!released.target_id) return;
  }
  level.released = std::move(released);
  level.folders.reset();
}

void TreeWalk::Leave() {
  std::shared_ptr<const FolderPair> left = std::move(levels_.back().folders);
  levels_.pop_back();
  if (levels_.empty() || levels_.back().folders) return;
  Level& level = levels_.back();
  const Released& released = *level.released;
  std::shared_ptr<const FolderPair> folders = released.folders.lock();
  OpenedFolder source;
  OpenedFolder target;
  if (!folders && left) {
    source = OpenParentFolder(left->source, released.source_id);
    target = released.target_id
                 ? OpenParentFolder(left->target, *released.target_id)
                 : OpenedFolder{
                       PlannedTarget(released), true, FolderError::kNone, {}};
    if (source.folder.valid() && target.folder.valid()) {
      folders = std::make_shared<const FolderPair>(FolderPair{
          std::move(source.folder), std::move(target.folder),
          released.source_path, released.target_path, released.traits});
    }
  }
  std::string why;
  if (!folders) folders = ReopenFromBelow(levels_.size() - 1, why);
  if (!folders) {
    // Moved or removed while the walk was above it.
    source_path_ = released.source_path;
    target_path_ = released.target_path;
    SourceFailed(FolderError::kSystem, std::move(why));
    level.next = level.subfolders.size();
    return;
  }
  level.folders = std::move(folders);
  level.released.reset();
}

FolderHandle TreeWalk::PlannedTarget(const Released& released) {
  return FolderHandle::Planned(released.planned_path,
                               released.planned_max_name_length);
}

std::shared_ptr<const FolderPair> TreeWalk::ReopenFromBelow(std::size_t index,
                                                            std::string& why) {
  // Where nothing else is said, the folder is no longer where it was.
  const auto gone = [&](std::string words) {
    why = words.empty() ? NoSuchFolderText() : std::move(words);
    return nullptr;
  };
  std::size_t base = index;
  while (base > 0 && !levels_[base - 1].folders) --base;
  if (base == 0) return gone({});
  std::shared_ptr<const FolderPair> at = levels_[base - 1].folders;
  for (std::size_t i = base; i <= index; ++i) {
    if (!levels_[i].released) return gone({});
    const Released& released = *levels_[i].released;
    const std::string name(released.source_path->Name());
    OpenedFolder source = OpenSubfolder(at->source, name);
    if (!source.folder.valid()) return gone(source.system_error);
    if (IdentityOf(source.folder) != released.source_id) return gone({});
    FolderHandle target = PlannedTarget(released);
    if (released.target_id) {
      OpenedFolder opened = OpenSubfolder(at->target, name);
      if (!opened.folder.valid()) return gone(opened.system_error);
      if (IdentityOf(opened.folder) != released.target_id) return gone({});
      target = std::move(opened.folder);
    }
    at = std::make_shared<const FolderPair>(FolderPair{
        std::move(source.folder), std::move(target), released.source_path,
        released.target_path, released.traits});
  }
  return at;
}

TreeWalk::TargetFolder TreeWalk::LookAtTarget(const FolderPair& folders,
                                              bool target_made,
                                              bool folds_case) {
  const FolderHandle& target_folder = folders.target;
  TargetFolder target;
  target.max_name_length = MaxNameLength(target_folder);
  // A planned folder would be made like its parent.
  target.folds_case =
      target_folder.planned() ? folds_case : FoldsCase(target_folder);
  std::optional<FileIdentity> target_id;
  if (!target_folder.planned() && (overlap_ || target.folds_case)) {
    target_id = IdentityOf(target_folder);
  }
  // A folder that folds case may be met again under another name.
  if (target.folds_case) written_.StartKeeping();
  // In place, or wherever the trees meet.
  target.same_as_source =
      overlap_ && target_id && IdentityOf(folders.source) == target_id;
  // Copies of this run may stand in a target folder met again, or in a
  // source folder that lies in the target tree: they must be there, and
  // known, before anything is looked at.
  if ((target_id && target.folds_case &&
       !targets_entered_.insert(*target_id).second) ||
      source_in_target_) {
    executor_.Settle();
  }
  NameTable names;
  target.listed = target_made || ListEntryNames(target_folder, names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    // What a killed run left goes once its process is gone.
    if (!rules_.preview && RemoveLeftoverTemporary(target_folder, names[i])) {
      continue;
    }
    target.entries.Insert(Key(target.folds_case, names[i]));
  }
  return target;
}

void TreeWalk::Enter(FolderHandle source, FolderHandle target, bool target_made,
                     bool protect, bool folds_case,
                     std::optional<bool> plain_modes) {
  Guarded([&] {
    CopyTraits traits;
    traits.sizes_tell_content = SizesTellContent(source);
    traits.plain_modes =
        plain_modes ? *plain_modes : NewFilesTakeAskedMode(target);
    traits.quiet_close = ClosingWritesNothing(target);
    auto folders = std::make_shared<const FolderPair>(
        FolderPair{std::move(source), std::move(target), source_path_,
                   target_path_, traits});
    const TargetFolder target_info =
        LookAtTarget(*folders, target_made, folds_case);
    FolderListing listing = ListFolder(folders->source);
    if (!listing.error.empty()) {
      SourceFailed(FolderError::kSystem, listing.error);
      return false;
    }
    auto files = std::make_shared<const NameTable>(std::move(listing.files));
    const bool folds = target_info.folds_case;
    Level level{folders,
                std::nullopt,
                {},
                0,
                protect,
                folds,
                files,
                ClaimedNames([this, files, folds](std::uint32_t position) {
                  return Key(folds, NewName((*files)[position]));
                })};
    std::size_t matching = 0;
    for (std::size_t i = 0; i < files->size(); ++i) {
      if (filter_.Matches((*files)[i])) ++matching;
    }
    level.claimed.Reserve(matching);
    const bool files_done = DecideFiles(folders, *files, matching, target_info,
                                        protect, level.claimed);
    if (!files_done || !rules_.include_subfolders ||
        listing.subfolders.empty()) {
      return false;
    }
    level.subfolders = std::move(listing.subfolders);
    levels_.push_back(std::move(level));
    ReleaseOldLevels();
    return true;
  });
}

bool TreeWalk::DecideFiles(const std::shared_ptr<const FolderPair>& folders,
                           const NameTable& names, std::size_t matching,
                           const TargetFolder& target, bool protect,
                           ClaimedNames& claimed) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = names[i];
    if (executor_.StopRequested()) return false;
    if (!filter_.Matches(name)) continue;
    // A copy this run wrote is no source of it.
    if (source_in_target_) {
      const SourceEntry entry = SourceAt(folders->source, name);
      if (entry.state == SourceState::kRegular &&
          written_.Contains(entry.identity)) {
        continue;
      }
    }
    FileDecision decision =
        Decide(folders, names, static_cast<std::uint32_t>(i), target, protect,
               claimed);
    decision.few_in_folder = matching <= 2;
    if (!executor_.File(std::move(decision))) return false;
  }
  return true;
}

std::string TreeWalk::NewName(std::string_view name) const {
  std::string base = BaseName(name);
  if (rules_.strip_surplus) base = StripSurplusExtensions(base);
  return TargetFileName(base, rules_.to_ext);
}

FileDecision TreeWalk::Decide(const std::shared_ptr<const FolderPair>& folders,
                              const NameTable& names, std::uint32_t position,
                              const TargetFolder& target, bool protect,
                              ClaimedNames& claimed) {
  const std::string_view name = names[position];
  const std::uint8_t kind = names.tag(position);
  FileDecision decision;
  decision.folders = folders;
  decision.name = std::string(name);
  decision.new_name = NewName(name);
  decision.may_replace = !protect && !target.same_as_source;
  decision.move = rules_.move;
  const auto fail = [&](CopyStatus status, std::string why = {}) {
    decision.action = FileAction::kFail;
    decision.failure = status;
    decision.system_error = std::move(why);
    return std::move(decision);
  };
  switch (static_cast<FileKind>(kind)) {
    case FileKind::kRegular:
      break;
    case FileKind::kOther:
      return fail(CopyStatus::kSourceNotRegularFile);
    case FileKind::kLink:
    case FileKind::kUnknown:
      // Moving a link would move the link, not the file it leads to.
      if (rules_.move &&
          EntryAt(folders->source, name).type == EntryType::kLink) {
        return fail(CopyStatus::kSourceNotRegularFile);
      }
      const SourceEntry source = SourceAt(folders->source, name);
      switch (source.state) {
        case SourceState::kRegular:
          break;
        case SourceState::kMissing:
          return fail(CopyStatus::kSourceMissing);
        case SourceState::kOther:
          return fail(CopyStatus::kSourceNotRegularFile);
        case SourceState::kUnreadable:
          return fail(CopyStatus::kSystemError, source.system_error);
      }
      break;
  }
  if (!IsAllowedName(decision.new_name)) {
    return fail(CopyStatus::kDestinationNameNotAllowed);
  }
  if (!NameFits(decision.new_name, target.max_name_length)) {
    return fail(CopyStatus::kSystemError, NameTooLongText());
  }
  const std::string key = Key(target.folds_case, decision.new_name);
  // The first file in the walk's order keeps a name; a failed one keeps
  // nothing.
  if (claimed.Contains(key)) return fail(CopyStatus::kDestinationReserved);
  decision.action = FileAction::kCreate;
  if (target.same_as_source && key == Key(target.folds_case, name)) {
    decision.action = FileAction::kUnchanged;
  } else if (!target.listed || target.entries.Contains(key)) {
    const Entry entry = EntryAt(folders->target, decision.new_name);
    if (entry.type == EntryType::kNone && !entry.system_error.empty()) {
      return fail(CopyStatus::kSystemError, entry.system_error);
    }
    if (entry.type == EntryType::kRegular &&
        written_.Contains(entry.identity)) {
      return fail(CopyStatus::kDestinationReserved);
    }
    if (entry.type != EntryType::kNone) {
      const CopyStatus judged = JudgeReplacement(entry, decision.may_replace);
      if (judged != CopyStatus::kCopied) return fail(judged);
      decision.action = FileAction::kReplace;
    }
  }
  claimed.Insert(key, position);
  return decision;
}

std::string TreeWalk::Key(bool folds_case, std::string_view name) {
  return folds_case ? CaseFoldKey(name) : std::string(name);
}

void TreeWalk::SourceFailed(FolderError error, std::string system_error) {
  executor_.FolderFailed(FolderFailure{source_path_->Text(), error,
                                       std::move(system_error), false,
                                       levels_.empty()});
}

void TreeWalk::TargetFailed(FolderError error, std::string system_error) {
  executor_.FolderFailed(FolderFailure{target_path_->Text(), error,
                                       std::move(system_error), true,
                                       levels_.empty()});
}

}  // namespace batchext
