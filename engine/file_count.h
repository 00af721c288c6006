#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "fs/folder_path.h"

namespace batchext {

// Counts the files a run will meet, on a thread of its own beside the run,
// so that a watcher can be told the whole while the run goes on. It only
// lists folders: no file is opened or looked at.
class FileCount {
 public:
  FileCount(FolderPath source, FolderPath target, std::string from_ext,
            bool include_subfolders);
  FileCount(const FileCount&) = delete;
  FileCount& operator=(const FileCount&) = delete;
  // Ends the count where it is.
  ~FileCount();

  // The total once known; nothing while counting, or where the tree could
  // not be counted (a folder that cannot be listed, or a tree deeper than
  // the count goes).
  std::optional<std::int64_t> Total() const;

 private:
  void Count(const FolderPath& source, const FolderPath& target,
             const std::string& from_ext, bool include_subfolders);

  static constexpr std::int64_t kCounting = -1;
  static constexpr std::int64_t kUnknown = -2;
  std::atomic<std::int64_t> total_{kCounting};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace batchext
