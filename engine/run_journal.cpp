#include "engine/run_journal.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>

#include "fs/file_state.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      fields.back().push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next);
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

// A number's digits, without a string of its own: a record a file must
// cost next to nothing.
class Number {
 public:
  template <typename Integer>
  explicit Number(Integer value)
      : length_(static_cast<std::size_t>(
            std::to_chars(digits_, digits_ + sizeof digits_, value).ptr -
            digits_)) {}
  std::string_view text() const { return {digits_, length_}; }

 private:
  char digits_[24];
  std::size_t length_;
};

// Records of many files go out in one write, so that the journal costs a
// run next to nothing.
constexpr std::size_t kWriteAt = 64 * 1024;

}  // namespace

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > RootLength(path) && path.size() > 1 &&
         IsSeparator(path.back())) {
    path.pop_back();
  }
  return path;
}

void AppendField(std::string_view field, std::string& out) {
  // Names rarely hold what needs escaping: most go in whole.
  for (auto special = field.find_first_of("\\\t\n");
       special != std::string_view::npos;
       special = field.find_first_of("\\\t\n")) {
    out.append(field.substr(0, special));
    const char c = field[special];
    out.push_back('\\');
    out.push_back(c == '\t' ? 't' : c == '\n' ? 'n' : c);
    field.remove_prefix(special + 1);
  }
  out.append(field);
}

std::vector<JournalRecord> DecodeJournal(std::string_view text) {
  std::vector<JournalRecord> records;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos;
       start = end + 1, end = text.find('\n', start)) {
    const std::string_view line = text.substr(start, end - start);
    if (line.size() < 2 || line[1] != '\t') continue;
    std::vector<std::string> fields = Fields(line.substr(2));
    records.push_back(
        JournalRecord{static_cast<RecordKind>(line[0]), std::move(fields)});
  }
  return records;
}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&now));
  return text;
}

RunJournal::RunJournal(std::unique_ptr<JournalFile> file)
    : file_(std::move(file)) {
  std::error_code ignored;
  working_folder_ = FromNativePath(std::filesystem::current_path(ignored));
}

std::string RunJournal::FullPath(const std::string& path) const {
  if (RootLength(path) > 0 || working_folder_.empty()) return path;
  std::string full = working_folder_;
  if (!IsSeparator(full.back())) full.push_back(PreferredSeparator());
  return full + path;
}

void RunJournal::Begin(const ConversionSettings& settings) {
  Add(RecordKind::kRun, {LocalTimeText(), FullPath(settings.FromFolder.text()),
                         FullPath(settings.TargetFolder.text())});
}

std::string RunJournal::Id(const ChainedPath::Ptr& folder) {
  std::vector<ChainedPath::Ptr> unnamed;
  for (ChainedPath::Ptr at = folder; at && !ids_.contains(at.get());
       at = at->parent()) {
    unnamed.push_back(at);
  }
  for (auto it = unnamed.rbegin(); it != unnamed.rend(); ++it) {
    const ChainedPath::Ptr& named = *it;
    const std::uint64_t id = ids_.size();
    const Number number(id);
    if (named->parent()) {
      const Number parent(ids_.at(named->parent().get()));
      Add(RecordKind::kFolderName,
          {number.text(), parent.text(), named->Name()});
    } else {
      Add(RecordKind::kFolderName,
          {number.text(), "", FullPath(std::string(named->Name()))});
    }
    ids_.emplace(named.get(), id);
    named_.push_back(named);
  }
  return std::to_string(ids_.at(folder.get()));
}

void RunJournal::FolderTime(const std::string& id, const PathState& state) {
  if (state.type != EntryType::kFolder) return;
  Add(RecordKind::kFolderTime, {id, Number(state.stamp.modified_ns).text()});
}

void RunJournal::FolderToBeMade(const ChainedPath::Ptr& folder,
                                const FolderHandle& parent) {
  folders_made_ = true;
  const std::string id = Id(folder);
  if (folder->parent()) FolderTime(Id(folder->parent()), StateOf(parent));
  Add(RecordKind::kMakeFolder, {id});
  Write();
}

void RunJournal::FolderToBeMade(const std::string& path) {
  folders_made_ = true;
  const std::string full = WithoutTrailingSeparators(FullPath(path));
  const auto separator = std::find_if(full.rbegin(), full.rend(), IsSeparator);
  if (separator != full.rend()) {
    const std::string parent = full.substr(0, full.rend() - separator);
    FolderTime(Id(ChainedPath::Root(parent)),
               StateAt(WithoutTrailingSeparators(parent)));
  }
  Add(RecordKind::kMakeFolder, {Id(ChainedPath::Root(full))});
  Write();
}

std::uint64_t RunJournal::Intent(const FileDecision& decision) {
  if (decision.folders != folders_) {
    folders_ = decision.folders;
    const std::string target = Id(folders_->target_path);
    FolderTime(target, StateOf(folders_->target));
    const std::string source = Id(folders_->source_path);
    // A move changes its source folder too.
    if (decision.move) FolderTime(source, StateOf(folders_->source));
    Add(RecordKind::kFolders, {source, target});
  }
  const bool replace = decision.action == FileAction::kReplace;
  if (decision.move) {
    const PathState state = StateIn(folders_->source, decision.name);
    Add(RecordKind::kMove,
        {decision.name, decision.new_name, replace ? "P" : "",
         Number(state.identity.index).text(), Number(state.stamp.size).text(),
         Number(state.stamp.modified_ns).text()});
  } else {
    Add(replace ? RecordKind::kReplace : RecordKind::kCreate,
        {decision.name, decision.new_name});
  }
  return intents_++;
}

void RunJournal::Outcome(const FileDecision& decision,
                         const CopyResult& result) {
  if (decision.action != FileAction::kCreate &&
      decision.action != FileAction::kReplace) {
    return;
  }
  Number sequence(decision.sequence);
  if (result.status != CopyStatus::kCopied) {
    Add(RecordKind::kNotDone, {sequence.text()});
    return;
  }
  changed_ = true;
  // Where the platform told no stamp, an undo compares with the source.
  const bool stamped = result.stamp != FileStamp{};
  const Number index(result.destination.index);
  const Number size(result.stamp.size);
  const Number time(result.stamp.modified_ns);
  Add(RecordKind::kDone,
      {sequence.text(), index.text(), stamped ? size.text() : "",
       stamped ? time.text() : "", result.kept_as});
  if (pending_.size() >= kWriteAt) Write();
}

bool RunJournal::Write() {
  if (!pending_.empty() && !failed_) failed_ = !file_->Append(pending_);
  pending_.clear();
  return !failed_;
}

bool RunJournal::Finish() {
  Write();
  if (changed_ || folders_made_) return true;
  file_->Remove();
  return false;
}

}  // namespace batchext
