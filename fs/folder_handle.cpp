#include "fs/folder_handle.h"

#include <utility>

#include "fs/native_path.h"
#include "fs/path_ops.h"

namespace batchext {

FolderHandle::FolderHandle(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)) {}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      path_(std::move(other.path_)),
      planned_(std::exchange(other.planned_, false)),
      max_name_length_(other.max_name_length_),
      facts_(std::move(other.facts_)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = std::exchange(other.descriptor_, -1);
    path_ = std::move(other.path_);
    planned_ = std::exchange(other.planned_, false);
    max_name_length_ = other.max_name_length_;
    facts_ = std::move(other.facts_);
  }
  return *this;
}

FolderHandle::~FolderHandle() { Close(); }

FolderHandle FolderHandle::Planned(std::string path,
                                   std::size_t max_name_length) {
  FolderHandle folder(-1, std::move(path));
  folder.planned_ = true;
  folder.max_name_length_ = max_name_length;
  return folder;
}

CopyStatus JudgeReplacement(const Entry& entry, bool allow_replace) {
  switch (entry.type) {
    case EntryType::kFolder:
    case EntryType::kOther:
      return CopyStatus::kDestinationNotRegularFile;
    case EntryType::kNone:
    case EntryType::kLink:
      break;
    case EntryType::kRegular:
      if (!allow_replace) break;
      // Root could write anyway; the attribute is the user's wish.
      if (entry.read_only) return CopyStatus::kDestinationReadOnly;
      break;
  }
  return allow_replace ? CopyStatus::kCopied
                       : CopyStatus::kDestinationProtected;
}

CopyResult CopyFileAt(const FolderHandle& source_folder, std::string_view name,
                      const FolderHandle& target_folder,
                      std::string_view new_name, const CopyOptions& options) {
  const SourceEntry source = SourceAt(source_folder, name);
  if (source.state == SourceState::kMissing) {
    return CopyResult::Of(CopyStatus::kSourceMissing);
  }
  if (source.state == SourceState::kOther) {
    return CopyResult::Of(CopyStatus::kSourceNotRegularFile);
  }
  // Made literally, such a name would send ordinary programs to a device or
  // a stream instead of the file.
  if (!IsAllowedName(new_name)) {
    return CopyResult::Of(CopyStatus::kDestinationNameNotAllowed);
  }
  // A name taken between the look and the copy is looked at again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const Entry existing = EntryAt(target_folder, new_name);
    if (existing.type == EntryType::kNone && !existing.system_error.empty()) {
      return CopyResult{CopyStatus::kSystemError, existing.system_error, 0, {}};
    }
    if (existing.type == EntryType::kRegular &&
        existing.identity == source.identity) {
      return CopyResult::Of(CopyStatus::kSameFile, source.identity);
    }
    const bool replace = existing.type != EntryType::kNone;
    if (replace) {
      const CopyStatus judged =
          JudgeReplacement(existing, options.allow_replace);
      if (judged != CopyStatus::kCopied) return CopyResult::Of(judged);
    }
    StagedCopy staged;
    CopyResult result =
        StageCopy(source_folder, name, target_folder, replace, options, staged);
    if (!result.Succeeded()) return result;
    bool taken = false;
    const CopyResult published = PublishCopy(staged, new_name, replace, taken);
    if (published.Succeeded()) {
      if (!published.destination.IsZero()) return published;
      return result;
    }
    if (!taken) return published;
  }
  return CopyResult::Of(CopyStatus::kDestinationProtected);
}

OpenedFolder MakeFolder(std::string_view path, bool preview) {
  const bool made = CreateFolderPath(path, preview);
  if (made && preview && !FolderExists(path)) {
    OpenedFolder opened;
    opened.folder =
        FolderHandle::Planned(AddTrailingSlash(path), MaxNameLengthNear(path));
    return opened;
  }
  const std::string why = made ? std::string() : LastErrorText();
  OpenedFolder opened = OpenFolder(path);
  // Why a level could not be made, rather than that the folder is missing.
  if (!made && opened.error == FolderError::kSystem) {
    opened.system_error = why;
  }
  return opened;
}

}  // namespace batchext
