#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

#include "fs/text_case.h"
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

std::string CaseFoldKey(std::string_view name) {
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* fold =
      ascii ? nullptr : icu::Normalizer2::getNFKCCasefoldInstance(status);
  // Linux folds full case and canonical forms; the compatibility fold joins
  // at least those. Bytes that are not UTF-8 compare as bytes there, so
  // joining them all as replacement characters is safe.
  if (fold != nullptr && U_SUCCESS(status)) {
    const icu::UnicodeString folded = fold->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(
            name.data(), static_cast<std::int32_t>(name.size()))),
        status);
    std::string key;
    if (U_SUCCESS(status)) return folded.toUTF8String(key);
  }
  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

}  // namespace batchext
