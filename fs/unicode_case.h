#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace batchext {

// The platform's simple lower-case mapping of UTF-8 text; empty when the
// text is not valid UTF-8 or the platform cannot map it.
std::optional<std::string> LowerUnicode(std::string_view utf8);

}  // namespace batchext
