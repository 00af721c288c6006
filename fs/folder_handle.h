#pragma once

#include <optional>
#include <string>
#include <string_view>

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
  // it.
  static FolderHandle Planned(std::string path);
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  ~FolderHandle();

  bool valid() const { return descriptor_ >= 0 || !path_.empty() || planned_; }
  bool planned() const { return planned_; }
  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }

 private:
  // Gives the descriptor back, where the platform holds one.
  void Close();

  int descriptor_ = -1;
  std::string path_;
  bool planned_ = false;
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
  FolderError error = FolderError::kNone;
  // The platform's error text for kSystem.
  std::string system_error;
};

// Opens a folder a person chose; links on its path are followed.
OpenedFolder OpenFolder(std::string_view path);

// Opens the subfolder `name` of `parent` without following a link there.
OpenedFolder OpenSubfolder(const FolderHandle& parent, std::string_view name);

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

std::optional<FileIdentity> IdentityOf(const FolderHandle& folder);

// True when `ancestor` is the folder itself or a folder above it, found by
// climbing from the folder itself rather than along its path.
bool LiesInside(const FolderHandle& folder, const FileIdentity& ancestor);

// CopyFileTo for a file `name` of one folder to `new_name` in another.
CopyResult CopyFileAt(const FolderHandle& source_folder, std::string_view name,
                      const FolderHandle& target_folder,
                      std::string_view new_name,
                      const CopyOptions& options = {});

// Whether the folder takes names that differ only in case for one.
bool FoldsCase(const FolderHandle& folder);

// Whether the file `name` of the folder may also be reached by another
// name (a hard link); true where the system cannot tell.
bool HasOtherNames(const FolderHandle& folder, std::string_view name);

// A deep walk holds a folder open per level: lets the process open as many
// files as its hard limit allows.
void RaiseOpenFileLimit();

}  // namespace batchext
