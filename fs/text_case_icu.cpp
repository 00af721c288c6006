#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "fs/text_case.h"

namespace batchext {
namespace {

std::string AsciiLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

}  // namespace

std::string ToLowerCase(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  if (ascii) return AsciiLower(text);

  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return AsciiLower(text);
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t written = 0;
    U8_APPEND_UNSAFE(encoded, written, u_tolower(c));
    result.append(reinterpret_cast<const char*>(encoded),
                  static_cast<std::size_t>(written));
  }
  return result;
}

}  // namespace batchext
