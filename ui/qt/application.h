#pragma once

namespace batchext {

// Process-wide settings that Qt needs before the QApplication exists.
void PrepareApplication();

}  // namespace batchext
