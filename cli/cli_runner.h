#pragma once

#include <csignal>

#include "cli/cli_options.h"

namespace batchext {

// Exit statuses of the command line.
inline constexpr int kExitClean = 0;
inline constexpr int kExitFailures = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitInterrupted = 130;

// Runs one conversion and reports it on the standard streams. The run stops
// between two files once `interrupted` is set.
int RunCommandLine(const CliOptions& options,
                   const volatile std::sig_atomic_t& interrupted);

// Flushes and closes standard output. A write that failed on the way, or a
// stream that was closed from the start, is said on stderr and turns a
// clean `status` into a failure.
int FinishStandardOutput(int status, bool output_was_open);

}  // namespace batchext
