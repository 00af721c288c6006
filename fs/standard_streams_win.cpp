#include "fs/standard_streams.h"

namespace batchext {

// Windows hands out handles, not the lowest free number, so a closed stream
// has no place that a file could take.
bool HoldStandardStreams() { return true; }

}  // namespace batchext
