#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_listing.h"

namespace batchext {

// An open folder. On POSIX it holds a descriptor, so that everything done
// relative to it stays in that folder whatever happens to its path; on
// Windows it holds the folder's full path.
class FolderHandle {
 public:
  FolderHandle() = default;
  FolderHandle(int descriptor, std::string path);
  // A folder a preview would make: it does not exist, nor does anything in
  // it. Names in it will be held to `max_name_length`.
  static FolderHandle Planned(std::string path, std::size_t max_name_length);
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  ~FolderHandle();

  bool valid() const { return descriptor_ >= 0 || !path_.empty() || planned_; }
  bool planned() const { return planned_; }
  std::size_t planned_max_name_length() const { return max_name_length_; }
  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }
  // What the platform learns about the folder once and keeps for the files
  // copied into it; null where it keeps nothing.
  const FolderFacts* facts() const { return facts_.get(); }
  void set_facts(std::shared_ptr<const FolderFacts> facts) {
    facts_ = std::move(facts);
  }

 private:
  // Gives the descriptor back, where the platform holds one.
  void Close();

  int descriptor_ = -1;
  std::string path_;
  bool planned_ = false;
  std::size_t max_name_length_ = 0;
  std::shared_ptr<const FolderFacts> facts_;
};

enum class FolderError {
  kNone,
  // A link stands where a folder was expected and was not followed.
  kLink,
  kNotFolder,
  // The name means something else to the system (a device on Windows).
  kNameNotAllowed,
  kSystem,
};

struct OpenedFolder {
  FolderHandle folder;
  // The folder was made just now, or is planned: nothing stands in it.
  bool made = false;
  FolderError error = FolderError::kNone;
  // The platform's error text for kSystem.
  std::string system_error;
};

// Opens a folder a person chose; links on its path are followed.
OpenedFolder OpenFolder(std::string_view path);

// Opens the subfolder `name` of `parent` without following a link there.
OpenedFolder OpenSubfolder(const FolderHandle& parent, std::string_view name);

// Opens the folder that holds `folder` once more, climbing rather than
// following a path; kSystem when that is no longer the folder `expected`
// (it was moved or removed meanwhile).
OpenedFolder OpenParentFolder(const FolderHandle& folder,
                              const FileIdentity& expected);

// Makes each missing level of a folder a person chose, then opens it. In
// preview nothing is made: a missing folder that could be made answers a
// planned one.
OpenedFolder MakeFolder(std::string_view path, bool preview = false);

// Like OpenSubfolder, making the subfolder first when it is missing; in
// preview as MakeFolder.
OpenedFolder MakeSubfolder(const FolderHandle& parent, std::string_view name,
                           bool preview = false);

// The folder's listing; a folder that cannot be read fully says why in
// `error`.
FolderListing ListFolder(const FolderHandle& folder);

// Every name in the folder, whatever it names, unsorted; false when the
// folder cannot be read fully.
bool ListEntryNames(const FolderHandle& folder, NameTable& names);

// Whether new entries can be made in the folder, as far as the platform
// tells beforehand; otherwise the platform's words for why not.
bool FolderTakesEntries(const FolderHandle& folder, std::string& why_not);

// Whether the file can be opened for reading, as far as the platform tells
// beforehand; otherwise the platform's words for why not.
bool CanReadFile(const FolderHandle& folder, std::string_view name,
                 std::string& why_not);

std::optional<FileIdentity> IdentityOf(const FolderHandle& folder);

// True when `ancestor` is the folder itself or a folder above it, found by
// climbing from the folder itself rather than along its path.
bool LiesInside(const FolderHandle& folder, const FileIdentity& ancestor);

// What stands at a name, judged as the entry itself: a link is a link,
// wherever it leads.
enum class EntryType : std::uint8_t { kNone, kRegular, kLink, kFolder, kOther };

struct Entry {
  EntryType type = EntryType::kNone;
  bool read_only = false;
  // For kRegular.
  FileIdentity identity;
  // The platform's words where the question itself failed (type kNone).
  std::string system_error;
};

Entry EntryAt(const FolderHandle& folder, std::string_view name);

// Whether an existing entry may give way to a copy: kCopied when it may,
// otherwise the reason it stays.
CopyStatus JudgeReplacement(const Entry& entry, bool allow_replace);

// What a source name leads to, links followed.
enum class SourceState { kRegular, kMissing, kOther, kUnreadable };

struct SourceEntry {
  SourceState state = SourceState::kUnreadable;
  FileIdentity identity;
  // The platform's words for kUnreadable.
  std::string system_error;
};

SourceEntry SourceAt(const FolderHandle& folder, std::string_view name);

// The longest name the folder's file system takes, in the units it counts
// (bytes on POSIX, UTF-16 units on Windows); for a planned folder, that of
// its nearest existing folder.
std::size_t MaxNameLength(const FolderHandle& folder);
// The same for the folder at `path`, or its nearest existing ancestor.
std::size_t MaxNameLengthNear(std::string_view path);
bool NameFits(std::string_view name, std::size_t max_length);
// The platform's words for a name that is too long.
std::string NameTooLongText();
// The platform's words for a folder that is no longer where it was.
std::string NoSuchFolderText();

// Whether the sizes its files report tell how much they hold; not so on
// the kernel's own file systems, whose files report none.
bool SizesTellContent(const FolderHandle& folder);
// Whether a file made in the folder gets the mode it is created with, less
// the umask, so that the mode need not be asked back.
bool NewFilesTakeAskedMode(const FolderHandle& folder);
// Whether closing a file written in the folder writes nothing back, so that
// it cannot fail: local disk and memory file systems, not network ones.
bool ClosingWritesNothing(const FolderHandle& folder);

// Whether the folder takes names that differ only in case for one.
bool FoldsCase(const FolderHandle& folder);

// CopyFileTo for a file `name` of one folder to `new_name` in another.
CopyResult CopyFileAt(const FolderHandle& source_folder, std::string_view name,
                      const FolderHandle& target_folder,
                      std::string_view new_name,
                      const CopyOptions& options = {});

// A deep walk holds a folder open per level: lets the process open as many
// files as its hard limit allows.
// Answers how many that is.
std::size_t RaiseOpenFileLimit();

}  // namespace batchext
