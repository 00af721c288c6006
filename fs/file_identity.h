#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace batchext {

// Names one file or folder of the file system, whatever path reaches it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  // The upper half of a 128-bit index, where the file system has one.
  std::uint64_t index_high = 0;

  bool IsZero() const { return device == 0 && index == 0 && index_high == 0; }
  // A zero identity is what a failed question leaves, so it names nothing.
  friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return !a.IsZero() && a.device == b.device && a.index == b.index &&
           a.index_high == b.index_high;
  }
};

// What a copy keeps of its source and what tells, without reading it, that
// a file is still as a run left it.
struct FileStamp {
  std::uint64_t size = 0;
  // Nanoseconds since the platform's epoch.
  std::int64_t modified_ns = 0;

  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct FileIdentityHash {
  std::size_t operator()(const FileIdentity& id) const noexcept {
    return std::hash<std::uint64_t>{}(
        (id.index ^ id.index_high) * 0x9E3779B97F4A7C15ULL ^ id.device);
  }
};

// Follows links. Empty when nothing can be reached at the path.
std::optional<FileIdentity> GetFileIdentity(std::string_view path);

#ifdef _WIN32
// Walks from the folder up to the root of its file system and answers the
// position in `candidates` of the first one met (the folder itself counts),
// or -1 when none is met. POSIX climbs by descriptor instead.
int FindEnclosingFolder(std::string_view folder,
                        const std::vector<FileIdentity>& candidates);
#endif

}  // namespace batchext
