#pragma once

namespace batchext {

// Keeps the three standard streams' places taken, so that no file the
// program opens later can stand in for a stream that was closed at start.
// True when standard output was open.
bool HoldStandardStreams();

}  // namespace batchext
