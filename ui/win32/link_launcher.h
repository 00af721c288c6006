#pragma once

#include <string>

namespace batchext::win32 {

// Hands an address to the shell, which starts the user's browser on it
// without waiting; a failure is deliberately not reported.
void OpenAddress(const std::string& address);

}  // namespace batchext::win32
