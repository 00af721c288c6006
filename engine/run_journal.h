#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/conversion_settings.h"
#include "engine/file_decision.h"
#include "fs/file_state.h"
#include "fs/journal_store.h"

namespace batchext {

// What a journal line records. Each line is its kind's letter followed by
// tab-separated fields, in which "\", tab and line feed are escaped.
enum class RecordKind : char {
  // The run: start time as local "YYYY-MM-DDThh:mm:ss", source, target.
  kRun = 'R',
  // A folder named once, by a number that later records use: number,
  // number of its parent folder, name; a folder with no parent named
  // there has its whole path for a name. Paths of a deep tree would
  // otherwise cost the journal their length at every level.
  kFolderName = 'N',
  // A folder about to be made: its number.
  kMakeFolder = 'M',
  // The numbers of the source and target folder of the changes after it.
  kFolders = 'F',
  // A folder whose entries are about to change, by number, and its time
  // before.
  kFolderTime = 'T',
  // A copy about to be created or to replace an entry: name, new name.
  kCreate = 'C',
  kReplace = 'P',
  // A file about to be moved: name, new name, "P" where it replaces an
  // entry, and what it is known by: its file index, size and time in
  // nanoseconds.
  kMove = 'V',
  // A change made: its sequence number, file index, size, time in
  // nanoseconds, and where the replaced entry was kept ("" for nowhere).
  kDone = 'D',
  // A change that was not made after all: its sequence number.
  kNotDone = 'X',
};

struct JournalRecord {
  RecordKind kind = RecordKind::kRun;
  std::vector<std::string> fields;
};

// Escapes one field onto `out`.
void AppendField(std::string_view field, std::string& out);

// Appends the line of one record to `out`; `fields` is any range of text.
template <typename Fields>
void AppendRecord(RecordKind kind, const Fields& fields, std::string& out) {
  out.push_back(static_cast<char>(kind));
  for (const auto& field : fields) {
    out.push_back('\t');
    AppendField(field, out);
  }
  out.push_back('\n');
}

// The records of a journal. A last line without its end, which only a
// power cut can leave, is dropped.
std::vector<JournalRecord> DecodeJournal(std::string_view text);

// A folder's path without the separators that end it, a root's apart, as
// an undo names folders.
std::string WithoutTrailingSeparators(std::string path);

// Local time as the trash records it.
std::string LocalTimeText();

// Writes down what a run is about to change before it changes it, in
// batches: every change is recorded in the file before it is made, and
// what came of it is recorded with the next batch.
class RunJournal {
 public:
  explicit RunJournal(std::unique_ptr<JournalFile> file);

  void Begin(const ConversionSettings& settings);
  // Records the folder and writes everything recorded so far: one the
  // walk is about to make in `parent`, or a missing level of the target
  // folder itself.
  void FolderToBeMade(const ChainedPath::Ptr& folder,
                      const FolderHandle& parent);
  void FolderToBeMade(const std::string& path);
  // Records a change about to be made; answers its sequence number.
  std::uint64_t Intent(const FileDecision& decision);
  void Outcome(const FileDecision& decision, const CopyResult& result);
  // Writes what was recorded since the last write; false once a write
  // failed.
  bool Write();
  // Writes the rest. A journal of a run that changed nothing is deleted:
  // an undo has nothing to take back there.
  // Answers whether the journal stays.
  bool Finish();
  // The full form of a path the walk was given or built.
  std::string FullPath(const std::string& path) const;
  // The platform's words for the first write that failed.
  const std::string& error() const { return file_->error(); }
  const std::string& path() const { return file_->path(); }

 private:
  void Add(RecordKind kind, std::initializer_list<std::string_view> fields) {
    AppendRecord(kind, fields, pending_);
  }
  // The folder's number, naming it and its unnamed ancestors first.
  std::string Id(const ChainedPath::Ptr& folder);
  // Records the time of a folder that existed before the run, so that an
  // undo can set it back.
  void FolderTime(const std::string& id, const PathState& state);

  std::unique_ptr<JournalFile> file_;
  std::string working_folder_;
  std::string pending_;
  // Held, so that no later folder pair can take its address.
  std::shared_ptr<const FolderPair> folders_;
  std::uint64_t intents_ = 0;
  // Folders named so far, held so that no other can take their address.
  std::unordered_map<const ChainedPath*, std::uint64_t> ids_;
  std::vector<ChainedPath::Ptr> named_;
  bool folders_made_ = false;
  bool changed_ = false;
  bool failed_ = false;
};

}  // namespace batchext
