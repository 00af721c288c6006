#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace batchext {

// Who copies a file's bytes: this program's own loop, or the system's copy
// (CopyFileExW), which can ask a file server to copy on its side or let a
// volume that shares blocks between files clone them.
enum class CopyRoute { kOwnLoop, kSystem };

// What a volume offers a copy.
struct VolumeFacts {
  std::uint32_t serial = 0;
  bool remote = false;
  bool block_cloning = false;
};

// The system's copy where it brings something the loop cannot, the loop
// everywhere else (it keeps holes and is cheaper on small files).
// `forced` ("system" or "loop", from BATCHEXT_COPY_ROUTE) overrides the
// choice, so that either route can be tried on any volume.
CopyRoute ChooseCopyRoute(std::uint32_t source_serial,
                          const VolumeFacts& target, std::wstring_view forced);

// ChooseCopyRoute for a copy of `size` bytes between folders on these
// volumes.
CopyRoute CopyRouteFor(const VolumeFacts& source, const VolumeFacts& target,
                       std::uint64_t size);

}  // namespace batchext
