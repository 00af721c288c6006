#pragma once

#include <string>
#include <string_view>

namespace batchext {

// Unicode simple lower-case mapping of UTF-8 text, independent of the
// process's locale. Text that is not valid UTF-8 is lowered byte by byte in
// the ASCII range only.
std::string ToLowerCase(std::string_view text);

// Equal for any two names that a case-insensitive folder of this platform
// takes for one; it may also join names such a folder tells apart, which
// costs a caller only caution.
std::string CaseFoldKey(std::string_view name);

}  // namespace batchext
