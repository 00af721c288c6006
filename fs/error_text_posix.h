#pragma once

#include <string>

namespace batchext {

// The system's reason for `error_number` in Chinese, like every other text
// of the program: the common reasons from a table of ours, any other in the
// system's own words.
std::string ErrorText(int error_number);

}  // namespace batchext
