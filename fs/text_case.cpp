#include "fs/text_case.h"

#include <algorithm>

#include "fs/unicode_case.h"

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
  auto lowered = LowerUnicode(text);
  return lowered ? *std::move(lowered) : AsciiLower(text);
}

}  // namespace batchext
