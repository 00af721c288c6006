#include <windows.h>

#include <algorithm>
#include <string>

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

  const int size = static_cast<int>(text.size());
  const int wide_size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                              text.data(), size, nullptr, 0);
  if (wide_size <= 0) return AsciiLower(text);
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size,
                        wide.data(), wide_size);

  // The invariant locale's simple mapping never changes the length.
  std::wstring lowered(wide.size(), L'\0');
  const int lowered_size = ::LCMapStringEx(
      LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, wide.data(), wide_size,
      lowered.data(), wide_size, nullptr, nullptr, 0);
  if (lowered_size <= 0) return AsciiLower(text);
  lowered.resize(static_cast<std::size_t>(lowered_size));

  const int utf8_size = ::WideCharToMultiByte(
      CP_UTF8, 0, lowered.data(), lowered_size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(utf8_size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, lowered.data(), lowered_size, result.data(),
                        utf8_size, nullptr, nullptr);
  return result;
}

}  // namespace batchext
