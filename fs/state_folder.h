#pragma once

#include <string>

namespace batchext {

// The folder where this program keeps what it remembers for the user
// between runs; "" where the environment names none.
std::string StateFolder();

}  // namespace batchext
