#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/chained_path.h"

namespace batchext {

// A single status line on a terminal, redrawn at most ten times a second.
class ProgressLine {
 public:
  // Draws nothing unless `enabled`.
  ProgressLine(std::FILE* stream, bool enabled);

  // `total` is 0 while unknown.
  void Update(long long files_handled, long long total,
              const ChainedPath::Ptr& folder);
  bool enabled() const { return enabled_; }
  // Removes the line so that other output starts on a clean line.
  void Clear();

 private:
  std::FILE* stream_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point next_draw_{};
};

}  // namespace batchext
