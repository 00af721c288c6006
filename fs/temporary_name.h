#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/folder_handle.h"

namespace batchext {

// Who writes a temporary: the user, the machine and the process, so that a
// later run can tell a copy still in progress from one a killed run left.
struct TemporaryOwner {
  std::uint32_t user = 0;
  std::uint32_t host = 0;
  std::uint64_t process = 0;
};

TemporaryOwner ThisProcess();
// How a user or machine name is kept in a temporary's name.
std::uint32_t ShortHash(std::string_view text);
// False where the process may still run; it is never guessed gone.
bool ProcessGone(std::uint64_t process);

// A hidden name for a copy that does not have its own name yet.
std::string TemporaryName(const TemporaryOwner& owner, std::uint32_t random);
// Whether `name` is a temporary of a run on this machine that has ended.
bool IsLeftoverTemporary(std::string_view name);

// Removes `name` from the folder when it is such a leftover; true when it
// was removed.
bool RemoveLeftoverTemporary(const FolderHandle& folder, std::string_view name);

}  // namespace batchext
