#include "engine/undo_run.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "engine/run_journal.h"
#include "fs/file_move.h"
#include "fs/file_state.h"
#include "fs/folder_handle.h"
#include "fs/folder_listing.h"
#include "fs/journal_store.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/temporary_name.h"
#include "fs/trash.h"

namespace batchext {
namespace {

// What the run recorded of one change.
struct Change {
  bool replace = false;
  // The file itself went to the target, known by index and stamp from
  // before the move until its outcome tells them.
  bool move = false;
  // The folder the moved file came from.
  std::string home;
  std::string source;
  std::string target;
  // Known once its outcome was recorded.
  bool done = false;
  bool not_done = false;
  std::uint64_t index = 0;
  bool stamped = false;
  FileStamp stamp;
  std::string kept_as;
};

std::uint64_t Number(const std::string& text) {
  return std::strtoull(text.c_str(), nullptr, 10);
}

// Whether `now` is the file the change moved. A rename keeps the file's
// index; a copy onto another file system has one of its own, which only the
// outcome tells.
bool IsMovedFile(const Change& change, const PathState& now) {
  if (now.type != EntryType::kRegular || now.stamp != change.stamp) {
    return false;
  }
  if (change.index == 0 || now.identity.IsZero() ||
      now.identity.index == change.index) {
    return true;
  }
  if (change.done) return false;
  const PathState home = StateAt(change.home, true);
  return !home.identity.IsZero() && home.identity.device != now.identity.device;
}

class Undo {
 public:
  explicit Undo(UndoReport& report) : report_(report) {}

  void Read(const std::vector<JournalRecord>& records);
  void Run();

 private:
  void TakeBack(const Change& change);
  void TakeBackReplace(const Change& change, const PathState& now, bool ours);
  void TakeBackMove(const Change& change);
  void RemoveFolder(const std::string& path);
  void RemoveLeftoverTemporaries(const std::string& folder);
  void Keep(const std::string& path, KeptReason reason,
            std::string system_error = {}) {
    report_.kept.push_back(KeptEntry{path, reason, std::move(system_error)});
  }

  UndoReport& report_;
  Trash trash_;
  std::vector<Change> changes_;
  std::vector<std::string> folders_;
  std::map<std::string, std::int64_t> folder_times_;
};

void Undo::Read(const std::vector<JournalRecord>& records) {
  std::string source_folder;
  std::string target_folder;
  // Each folder's path, ending in a separator, by its number.
  std::unordered_map<std::string, std::string> paths;
  const auto folder = [&](const std::string& id) {
    const auto found = paths.find(id);
    return found == paths.end() ? std::string()
                                : WithoutTrailingSeparators(found->second);
  };
  for (const JournalRecord& record : records) {
    const std::vector<std::string>& fields = record.fields;
    switch (record.kind) {
      case RecordKind::kRun:
        if (fields.size() >= 3) {
          report_.started = fields[0];
          report_.source = fields[1];
          report_.target = fields[2];
        }
        break;
      case RecordKind::kFolderName:
        if (fields.size() >= 3) {
          const auto parent = paths.find(fields[1]);
          std::string path;
          if (fields[1].empty()) {
            path = fields[2];
            if (!path.empty() && !IsSeparator(path.back())) {
              path.push_back(PreferredSeparator());
            }
          } else if (parent != paths.end()) {
            path = parent->second + fields[2] + PreferredSeparator();
          }
          paths[fields[0]] = std::move(path);
        }
        break;
      case RecordKind::kFolderTime:
        // The first time recorded is the one from before the run.
        if (fields.size() >= 2 && !folder(fields[0]).empty()) {
          folder_times_.emplace(folder(fields[0]),
                                std::strtoll(fields[1].c_str(), nullptr, 10));
        }
        break;
      case RecordKind::kMakeFolder:
        if (!fields.empty() && !folder(fields[0]).empty()) {
          folders_.push_back(folder(fields[0]));
        }
        break;
      case RecordKind::kFolders:
        if (fields.size() >= 2) {
          source_folder = paths[fields[0]];
          target_folder = paths[fields[1]];
        }
        break;
      case RecordKind::kCreate:
      case RecordKind::kReplace:
        if (fields.size() >= 2) {
          Change change;
          change.replace = record.kind == RecordKind::kReplace;
          change.source = source_folder + fields[0];
          change.target = target_folder + fields[1];
          changes_.push_back(std::move(change));
        }
        break;
      case RecordKind::kMove:
        if (fields.size() >= 6) {
          Change change;
          change.move = true;
          change.home = WithoutTrailingSeparators(source_folder);
          change.replace = fields[2] == "P";
          change.source = source_folder + fields[0];
          change.target = target_folder + fields[1];
          change.index = Number(fields[3]);
          change.stamped = true;
          change.stamp = FileStamp{
              Number(fields[4]), std::strtoll(fields[5].c_str(), nullptr, 10)};
          changes_.push_back(std::move(change));
        }
        break;
      case RecordKind::kDone:
        if (fields.size() >= 5 && Number(fields[0]) < changes_.size()) {
          Change& change = changes_[Number(fields[0])];
          change.done = true;
          change.index = Number(fields[1]);
          change.stamped = !fields[2].empty();
          change.stamp = FileStamp{
              Number(fields[2]), std::strtoll(fields[3].c_str(), nullptr, 10)};
          change.kept_as = fields[4];
        }
        break;
      case RecordKind::kNotDone:
        if (!fields.empty() && Number(fields[0]) < changes_.size()) {
          changes_[Number(fields[0])].not_done = true;
        }
        break;
    }
  }
}

void Undo::Run() {
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) TakeBack(*it);
  for (const auto& [folder, time] : folder_times_) {
    RemoveLeftoverTemporaries(folder);
  }
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
    RemoveFolder(*it);
  }
  // Taking entries back changed the times of their folders; where all of
  // a folder's changes went, so does that.
  for (const auto& [folder, time] : folder_times_) {
    const bool something_stays =
        std::any_of(report_.kept.begin(), report_.kept.end(),
                    [&folder](const KeptEntry& entry) {
                      return entry.path.size() > folder.size() &&
                             entry.path.starts_with(folder) &&
                             IsSeparator(entry.path[folder.size()]);
                    });
    if (!something_stays) SetModifiedTime(folder, time);
  }
}

// A run killed while it published a copy leaves it under a temporary name
// that the run's own journal does not know; it goes with the run.
void Undo::RemoveLeftoverTemporaries(const std::string& folder) {
  const OpenedFolder opened = OpenFolder(folder);
  if (opened.error != FolderError::kNone) return;
  const FolderListing listing = ListFolder(folder);
  for (std::size_t i = 0; i < listing.files.size(); ++i) {
    RemoveLeftoverTemporary(opened.folder, listing.files[i]);
  }
}

void Undo::TakeBack(const Change& change) {
  if (change.not_done) return;
  if (change.move) {
    TakeBackMove(change);
    return;
  }
  const PathState now = StateAt(change.target);
  // Where the outcome went missing with a killed run, the copy bears its
  // source's size and time.
  FileStamp expected = change.stamp;
  if (!change.stamped) expected = StateAt(change.source, true).stamp;
  const bool ours =
      now.type == EntryType::kRegular && now.stamp == expected &&
      // Where a file's number cannot be had cheaply, size and time tell.
      (!change.done || change.index == 0 || now.identity.IsZero() ||
       now.identity.index == change.index);
  if (change.replace || !change.kept_as.empty()) {
    TakeBackReplace(change, now, ours);
    return;
  }
  if (now.type == EntryType::kNone) return;
  if (!ours) {
    Keep(change.target, KeptReason::kChanged);
    return;
  }
  std::error_code error;
  if (std::filesystem::remove(ToNativePath(change.target), error)) {
    ++report_.removed;
  } else if (error) {
    Keep(change.target, KeptReason::kSystem, error.message());
  }
}

void Undo::TakeBackReplace(const Change& change, const PathState& now,
                           bool ours) {
  std::vector<std::string> kept;
  if (!change.kept_as.empty()) {
    kept.push_back(change.kept_as);
  } else if (!change.done) {
    kept = trash_.KeptFor(change.target, report_.started);
    // Killed between writing a kept file's record and linking the file in:
    // the record stands alone, and goes.
    std::erase_if(kept, [this](const std::string& entry) {
      if (StateAt(entry).type != EntryType::kNone) return false;
      ForgetInTrash(entry);
      return true;
    });
  }
  // Killed between keeping the old file and replacing it: the old file
  // still stands, and its second name goes again.
  for (const std::string& entry : kept) {
    const PathState held = StateAt(entry);
    if (now.type != EntryType::kNone && held.identity == now.identity) {
      ForgetInTrash(entry);
      return;
    }
  }
  if (!ours && now.type != EntryType::kNone) {
    // Without an outcome and without a trace in the trash, the replacement
    // never happened.
    if (change.done || !kept.empty()) Keep(change.target, KeptReason::kChanged);
    return;
  }
  if (kept.empty()) {
    if (change.done) Keep(change.target, KeptReason::kNotKept);
    return;
  }
  if (StateAt(kept.back()).type == EntryType::kNone) {
    Keep(change.target, KeptReason::kNotInTrash);
    return;
  }
  std::string error;
  if (RestoreFromTrash(kept.back(), change.target, error)) {
    ++report_.restored;
  } else {
    Keep(change.target, KeptReason::kSystem, error);
  }
}

void Undo::TakeBackMove(const Change& change) {
  const PathState now = StateAt(change.target);
  if (change.replace && !change.done) {
    // Killed between keeping the old file and the move: it still stands.
    for (const std::string& entry :
         trash_.KeptFor(change.target, report_.started)) {
      if (now.type != EntryType::kNone &&
          StateAt(entry).identity == now.identity) {
        ForgetInTrash(entry);
        return;
      }
    }
  }
  const bool ours = IsMovedFile(change, now);
  const PathState there = StateAt(change.source);
  if (!ours) {
    // Without an outcome and with the file still at home, the move never
    // happened.
    if (change.done || there.type == EntryType::kNone) {
      Keep(change.target, KeptReason::kChanged);
    }
    return;
  }
  CopyResult back;
  if (!change.done && there.type == EntryType::kRegular &&
      there.stamp == change.stamp) {
    // Killed between the copy across file systems and removing the source.
    back = RemovePath(change.target);
  } else if (there.type != EntryType::kNone) {
    Keep(change.source, KeptReason::kSourceTaken);
    return;
  } else {
    back = MoveFileBack(change.target, change.source);
  }
  if (!back.Succeeded()) {
    switch (back.status) {
      case CopyStatus::kDestinationProtected:
        Keep(change.source, KeptReason::kSourceTaken);
        break;
      case CopyStatus::kSourceChanged:
        Keep(change.target, KeptReason::kChanged);
        break;
      default:
        Keep(change.target, KeptReason::kSystem, back.system_error);
    }
    return;
  }
  ++report_.moved_back;
  if (change.replace || !change.kept_as.empty()) {
    TakeBackReplace(change, StateAt(change.target), true);
  }
}

void Undo::RemoveFolder(const std::string& path) {
  const PathState now = StateAt(path);
  if (now.type != EntryType::kFolder) return;
  std::error_code error;
  if (std::filesystem::remove(ToNativePath(path), error)) {
    ++report_.folders_removed;
  } else if (error == std::errc::directory_not_empty) {
    Keep(path, KeptReason::kFolderNotEmpty);
  } else if (error) {
    Keep(path, KeptReason::kSystem, error.message());
  }
}

}  // namespace

UndoReport UndoJournal(const std::string& text) {
  UndoReport report;
  Undo undo(report);
  undo.Read(DecodeJournal(text));
  undo.Run();
  return report;
}

UndoReport UndoLastRun(const std::string& journal_folder) {
  const std::string journal =
      journal_folder.empty() ? std::string() : NewestJournal(journal_folder);
  if (journal.empty()) {
    UndoReport report;
    report.refusal = UndoRefusal::kNothingToUndo;
    return report;
  }
  return UndoRun(journal);
}

UndoReport UndoRun(const std::string& journal) {
  UndoReport report;
  std::string text;
  if (!ReadJournal(journal, text, report.error)) {
    report.refusal = UndoRefusal::kUnreadable;
    return report;
  }
  report = UndoJournal(text);
  // Taken back as far as it goes: the next undo takes the run before.
  if (!MarkTakenBack(journal, report.error)) {
    report.kept.push_back(
        KeptEntry{journal, KeptReason::kSystem, report.error});
  }
  return report;
}

}  // namespace batchext
