#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "engine/conversion_run.h"

namespace batchext {

// What a preview decided, one row a matching file (and one a folder the
// walk could not use), in the walk's order. Rows keep the engine's own
// records and word them only when a view asks, so that a list of a huge tree
// costs little more than its names.
class PreviewList {
 public:
  enum class Column { kSource, kDestination, kResult };
  static constexpr int kColumns = 3;

  // `inner` with this collector's hooks chained in. Valid as long as this
  // object.
  ConversionObserver Watch(ConversionObserver inner);

  // Takes note of how the preview ended.
  void Finish(const ConversionReport& report) { stopped_ = report.stopped; }

  std::size_t size() const { return rows_.size(); }
  std::string Text(std::size_t row, Column column) const;
  // The counts above the list.
  std::string CountsText() const;

 private:
  std::vector<std::variant<FileOutcome, FolderFailure>> rows_;
  long long created_ = 0;
  long long replaced_ = 0;
  long long unchanged_ = 0;
  long long failed_ = 0;
  bool stopped_ = false;
};

}  // namespace batchext
