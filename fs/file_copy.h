#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "fs/file_identity.h"
#include "fs/finished_files.h"

namespace batchext {

class FolderHandle;
// What a platform keeps about an open folder; Windows defines it.
class FolderFacts;

enum class CopyStatus {
  kCopied,
  // The destination is the source file itself; nothing was written.
  kSameFile,
  kSourceMissing,
  kSourceNotRegularFile,
  // A file to be moved changed while it was copied; it stays where it was.
  kSourceChanged,
  kDestinationNotRegularFile,
  kDestinationReadOnly,
  // The destination exists and the caller forbade replacing it.
  kDestinationProtected,
  // The destination exists and the caller has reserved it.
  kDestinationReserved,
  // The destination's name means something else to the system (a device,
  // a stream) or holds a character it forbids in names; nothing was written.
  kDestinationNameNotAllowed,
  // A stop was requested during the copy; the partial copy was discarded.
  kStopped,
  // The system refused a step; `system_error` tells which.
  kSystemError,
  // Answers of a preview, which checks everything and writes nothing.
  kWouldCreate,
  kWouldReplace,
};

// The copy stands (or would, in a preview) under its new name.
inline bool CopySucceeded(CopyStatus status) {
  return status == CopyStatus::kCopied || status == CopyStatus::kSameFile ||
         status == CopyStatus::kWouldCreate ||
         status == CopyStatus::kWouldReplace;
}

struct CopyOptions {
  // Whether an existing destination may be replaced at all.
  bool allow_replace = true;
  // Asked between chunks of a large file; true discards the partial copy.
  std::function<bool()> stop_requested;
  // False where the size a file reports may not be what it holds (the
  // kernel's own file systems report none, or a page): every file is then
  // read to its end.
  bool sizes_tell_content = true;
  // Whether the copy's identity is wanted; on Linux it costs a call a file.
  bool identify = true;
  // The target folder gives a new file the mode it is created with, less
  // the umask (no inherited access list mixes in).
  bool plain_modes = false;
  // Closing a copy in the target folder writes nothing back.
  bool quiet_close = false;
  // Where the source is closed once read; empty closes it at once.
  FinishedFiles* finished_files = nullptr;
};

struct CopyResult {
  CopyStatus status = CopyStatus::kSystemError;
  // The platform's error text for kSystemError, otherwise empty.
  std::string system_error;
  // The platform's error number for kSystemError, otherwise 0.
  int error_number = 0;
  // The file that now holds the content: the new copy, or for kSameFile the
  // source itself.
  FileIdentity destination;
  // For kCopied: the size and time the copy was given, the source's.
  FileStamp stamp{};
  // Where the entry that the copy replaced was kept, or empty.
  std::string kept_as{};

  bool Succeeded() const { return CopySucceeded(status); }

  static CopyResult Of(CopyStatus status, FileIdentity destination = {}) {
    return CopyResult{status, {}, 0, destination};
  }
};

// A failure that belongs to the moment rather than to the file: no space,
// no quota, no more open files. The same copy may succeed later.
bool IsMomentary(const CopyResult& result);

// A complete copy written beside its destination, without its name there
// yet. Dropping it discards the copy. The folder it was staged in must stay
// open for as long as it lives.
class StagedCopy {
 public:
  StagedCopy() = default;
  StagedCopy(StagedCopy&& other) noexcept;
  StagedCopy& operator=(StagedCopy&& other) noexcept;
  StagedCopy(const StagedCopy&) = delete;
  StagedCopy& operator=(const StagedCopy&) = delete;
  ~StagedCopy() { Discard(); }

  bool staged() const { return descriptor_ >= 0 || !temp_name_.empty(); }
  void Discard();

 private:
  friend CopyResult StageCopy(const FolderHandle&, std::string_view,
                              const FolderHandle&, bool, const CopyOptions&,
                              StagedCopy&);
  friend CopyResult PublishCopy(StagedCopy&, std::string_view, bool, bool&,
                                FinishedFiles*);

  // A file without a name where the platform has them, otherwise (and on
  // Windows always) the open temporary; Windows keeps its handles in the
  // descriptors.
  int descriptor_ = -1;
  // The source, held where both are closed together once the copy is named,
  // so that their descriptors are given back in runs; otherwise -1.
  int source_descriptor_ = -1;
  // The hidden temporary name in the target folder, where it has one.
  std::string temp_name_;
  int folder_descriptor_ = -1;
  std::string folder_path_;
  // Applied once the copy has its name (Windows keeps read-only for last).
  bool read_only_ = false;
  // Its closing, once named, can report nothing.
  bool quiet_close_ = false;
  // Whether the copy's identity is wanted, and what its folder tells about
  // how files there are known (Windows).
  bool identify_ = true;
  const FolderFacts* folder_facts_ = nullptr;
};

// Writes a copy of the file `name` of `source_folder` into `target_folder`
// without giving it a name there: content, modification time and permission
// bits (on Windows the attributes a copy keeps and the named streams).
// `replacing` makes the content durable first where the platform needs that
// for a replacement to be all or nothing.
CopyResult StageCopy(const FolderHandle& source_folder, std::string_view name,
                     const FolderHandle& target_folder, bool replacing,
                     const CopyOptions& options, StagedCopy& staged);

// Gives a staged copy the name `new_name` in its folder in one step. With
// `replace` whatever entry stands there is replaced (a link itself, never
// what it points to); without it only a free name is taken, and `taken`
// tells that something stood there. On failure the destination is as it
// was and the copy stays staged. Where a file's identity can change with
// its name (FAT32, exFAT), `destination` holds the one under the new name.
// A named copy whose closing can report nothing goes to `finished`.
CopyResult PublishCopy(StagedCopy& staged, std::string_view new_name,
                       bool replace, bool& taken,
                       FinishedFiles* finished = nullptr);

// Copies one file to a path: a new destination is created exclusively; an
// existing one is replaced only once a complete copy stands beside it, and
// a link there is replaced, never followed. After any failure or stop the
// destination is as it was.
CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options = {});

}  // namespace batchext
