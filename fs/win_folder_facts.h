#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "fs/file_identity.h"
#include "fs/win_copy_route.h"

namespace batchext {

// What a volume tells about itself.
struct VolumeTraits {
  VolumeFacts volume;
  // The serial that identities carry (the file index's own).
  std::uint32_t identity_serial = 0;
  // Files keep their index through renames (not so on FAT32 or exFAT).
  bool stable_index = false;
  // The volume keeps named streams beside a file's content.
  bool named_streams = false;
};

// What a folder and its volume tell, each asked once, when a copy first
// needs it, and shared with the folders opened inside it, which lie on the
// same volume (no link or mount point is followed there): no copy asks
// again, and a folder only listed asks nothing (Wine answers volume
// questions slowly).
class FolderFacts {
 public:
  // New for a folder opened by path; Within shares the volume of a folder
  // opened inside, or above, another.
  static std::shared_ptr<const FolderFacts> New();
  static std::shared_ptr<const FolderFacts> Within(const FolderFacts* other);

  // Both take the folder's own handle.
  const VolumeTraits& Volume(HANDLE folder) const;
  // The folder's path with links resolved; empty when unknown.
  const std::wstring& FinalPath(HANDLE folder) const;

 private:
  struct VolumeCell {
    std::once_flag asked;
    VolumeTraits traits;
  };
  std::shared_ptr<VolumeCell> volume_ = std::make_shared<VolumeCell>();
  mutable std::once_flag path_asked_;
  mutable std::wstring final_path_;
};

// The identity of the file `file`, named `name` in the folder `folder` (the
// folder itself for an empty name), as IdentityOfHandle would tell it: its
// index where the volume keeps it, else its path under the folder's.
FileIdentity IdentityIn(const FolderFacts& facts, HANDLE folder, HANDLE file,
                        std::wstring_view name);

}  // namespace batchext
