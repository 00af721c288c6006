#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/conversion_run.h"

namespace batchext {

// What the summary box offers behind its details button: every file and
// folder that failed and why, and where a cancelled run stopped.
class RunDetails {
 public:
  // More would only bury the first lines; the rest are counted.
  static constexpr std::size_t kMaxFailureLines = 1000;

  // `inner` with this collector's hooks chained in. Valid as long as this
  // object.
  ConversionObserver Watch(ConversionObserver inner);

  // One line per failure "PATH：REASON", after a line on the cancellation;
  // "" when the run ended on its own with nothing failed.
  std::string Text() const;

 private:
  void Record(std::string line);

  std::vector<std::string> failures_;
  long long unlisted_ = 0;
  long long files_handled_ = 0;
  bool cancelled_ = false;
};

}  // namespace batchext
