#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

#include "fs/unicode_case.h"

namespace batchext {

std::optional<std::string> LowerUnicode(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return std::nullopt;
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t written = 0;
    U8_APPEND_UNSAFE(encoded, written, u_tolower(c));
    result.append(reinterpret_cast<const char*>(encoded),
                  static_cast<std::size_t>(written));
  }
  return result;
}

}  // namespace batchext
