#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "fs/folder_handle.h"

namespace batchext {

// The desktop's trash, where a run keeps the files it replaces: a person
// finds them there with the file manager, and an undo puts them back.
class Trash {
 public:
  Trash();
  ~Trash();
  Trash(const Trash&) = delete;
  // Whether this platform's trash can keep anything yet.
  static bool Supported();
  Trash& operator=(const Trash&) = delete;

  // Gives the entry `name` of `folder`, whose full path is `path`, a second
  // name in the trash of its file system, recorded as deleted from `path`
  // just now. The entry keeps its own name, so that whatever replaces it
  // next does so in one step. Answers the full path of the second name, or
  // "" and why not. Safe to call from any thread.
  std::string Keep(const FolderHandle& folder, std::string_view name,
                   const std::string& path, std::string& why_not);

  // What Keep answered for `path` at `since` (local time as
  // "YYYY-MM-DDThh:mm:ss") or later, oldest first, as far as the trash
  // still holds it.
  std::vector<std::string> KeptFor(const std::string& path,
                                   const std::string& since);

 private:
  struct Can;
  Can& CanFor(std::uint64_t device, const std::string& path);

  std::mutex mutex_;
  std::string home_trash_;
  std::vector<std::unique_ptr<Can>> cans_;
};

// Puts an entry kept in the trash back at `path`, replacing what stands
// there, and drops its record. False with the platform's words on failure.
bool RestoreFromTrash(const std::string& kept, const std::string& path,
                      std::string& error);

// Takes an entry kept in the trash and its record out of it.
void ForgetInTrash(const std::string& kept);

}  // namespace batchext
