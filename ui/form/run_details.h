#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_run.h"

namespace batchext {

// One thing that failed, and why.
struct DetailRow {
  std::string path;
  std::string reason;
};

// What a summary box offers behind its details button.
struct Details {
  // Above the rows: where a cancelled run stopped.
  std::string heading;
  std::vector<DetailRow> rows;
  // Failures beyond the rows, only counted.
  long long unlisted = 0;
  // Below the rows: what the run says about taking it back.
  std::string note;

  bool empty() const {
    return heading.empty() && rows.empty() && unlisted == 0 && note.empty();
  }
};

// The details as lines: the heading, "PATH：REASON" for each row, the count
// of the unlisted, the note; `newline` between them, none after the last.
std::string DetailsText(const Details& details,
                        std::string_view newline = "\n");

// The details as a text file in UTF-8. Windows' own editors want CRLF, and
// the older ones a byte-order mark to read UTF-8 at all.
std::string DetailsFile(const Details& details, bool for_windows);

// Collects the details of a run while it goes.
class RunDetails {
 public:
  // More would only bury the first lines; the rest are counted.
  static constexpr std::size_t kMaxFailureLines = 1000;

  // `inner` with this collector's hooks chained in. Valid as long as this
  // object.
  ConversionObserver Watch(ConversionObserver inner);

  // Empty when the run ended on its own with nothing failed.
  Details Collected() const;

 private:
  void Record(std::string path, std::string reason);

  std::vector<DetailRow> failures_;
  long long unlisted_ = 0;
  long long files_handled_ = 0;
  bool cancelled_ = false;
};

}  // namespace batchext
