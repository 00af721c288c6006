#pragma once

#include <chrono>

namespace batchext {

// Processor time the process has used so far, all its threads together;
// zero where the system does not tell.
std::chrono::nanoseconds ProcessCpuTime();

}  // namespace batchext
