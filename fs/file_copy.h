#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "fs/file_identity.h"

namespace batchext {

enum class CopyStatus {
  kCopied,
  // The destination is the source file itself; nothing was written.
  kSameFile,
  kSourceMissing,
  kSourceNotRegularFile,
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
  // Asked about an existing destination; true keeps it untouched.
  std::function<bool(const FileIdentity&)> is_reserved;
  // Asked between chunks of a large file; true discards the partial copy.
  std::function<bool()> stop_requested;
  // Stops right after every check, before the first write, and answers what
  // the copy would have done.
  bool preview = false;
};

struct CopyResult {
  CopyStatus status = CopyStatus::kSystemError;
  // The platform's error text for kSystemError, otherwise empty.
  std::string system_error;
  // The file that now holds the content: the new copy, or for kSameFile the
  // source itself. Zero for a preview's kWouldCreate and kWouldReplace.
  FileIdentity destination;

  bool Succeeded() const { return CopySucceeded(status); }
};

// Copies content, modification time and permission bits (on Windows the
// attributes a copy keeps and the named streams). A new destination is
// created exclusively; an existing one is replaced only once a complete copy
// stands beside it. After any failure or stop the destination is as it was.
CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options = {});

}  // namespace batchext
