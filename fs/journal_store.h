#pragma once

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace batchext {

// One run's journal: a file of its own in the state folder that only grows.
class JournalFile {
 public:
  // A new journal in `folder`, made only for this user if missing; null,
  // with the platform's words, where it cannot be written.
  static std::unique_ptr<JournalFile> Create(const std::string& folder,
                                             std::string& error);
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Appends `text` with one write, so that a process killed at any moment
  // leaves whole writes behind; a power cut can still lose the last ones.
  bool Append(std::string_view text);
  // Closes and deletes the journal.
  void Remove();
  const std::string& path() const { return path_; }
  // The platform's words for the first append that failed, or "".
  const std::string& error() const { return error_; }

 private:
  JournalFile(std::string path, std::ofstream out);

  std::string path_;
  std::ofstream out_;
  std::string error_;
};

// The journal of the newest run not taken back yet, or "".
std::string NewestJournal(const std::string& folder);

// The whole content of a journal; false with the platform's words.
bool ReadJournal(const std::string& path, std::string& text,
                 std::string& error);

// Marks a journal as taken back, so that the next undo takes the run
// before.
bool MarkTakenBack(const std::string& path, std::string& error);

// Deletes all but the newest `kept` journals of `folder`.
void PruneJournals(const std::string& folder, std::size_t kept);

}  // namespace batchext
