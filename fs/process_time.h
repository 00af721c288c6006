#pragma once

#include <chrono>

namespace batchext {

// Processor time spent busy so far by anything, all processors together:
// time a processor was idle or waiting for a disk does not count. Zero
// where the system does not tell.
std::chrono::nanoseconds BusyProcessorTime();

}  // namespace batchext
