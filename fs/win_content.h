#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "fs/file_copy.h"

namespace batchext {

// A stretch of a file that holds data.
struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// Where a sparse file holds data within its first `size` bytes; empty when
// the file system cannot tell, and the whole file is then copied.
std::optional<std::vector<ByteRange>> AllocatedRanges(HANDLE file,
                                                      std::uint64_t size);

// Copies the ranges from `in` to the same places in `out`, asking between
// chunks whether to stop; what lies between them stays unwritten, a hole
// where `out` is sparse. Sets `error` for kSystemError.
CopyStatus CopyRanges(HANDLE in, HANDLE out,
                      const std::vector<ByteRange>& ranges,
                      const CopyOptions& options, DWORD& error);

}  // namespace batchext
