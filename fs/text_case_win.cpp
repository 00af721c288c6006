#include <windows.h>

#include <string>

#include "fs/text_case.h"
#include "fs/unicode_case.h"
#include "fs/win_support.h"

namespace batchext {

std::optional<std::string> LowerUnicode(std::string_view text) {
  const int size = static_cast<int>(text.size());
  const int wide_size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                              text.data(), size, nullptr, 0);
  if (wide_size <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size,
                        wide.data(), wide_size);

  // The invariant locale's simple mapping never changes the length.
  std::wstring lowered(wide.size(), L'\0');
  const int lowered_size = ::LCMapStringEx(
      LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, wide.data(), wide_size,
      lowered.data(), wide_size, nullptr, nullptr, 0);
  if (lowered_size <= 0) return std::nullopt;
  lowered.resize(static_cast<std::size_t>(lowered_size));

  const int utf8_size = ::WideCharToMultiByte(
      CP_UTF8, 0, lowered.data(), lowered_size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(utf8_size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, lowered.data(), lowered_size, result.data(),
                        utf8_size, nullptr, nullptr);
  return result;
}

std::string CaseFoldKey(std::string_view name) {
  // The file system compares names upper-cased, one UTF-16 unit at a time.
  std::wstring wide = Utf8ToWide(name);
  const int wide_size = static_cast<int>(wide.size());
  ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                  wide_size, wide.data(), wide_size, nullptr, nullptr, 0);
  // UTF-16 units as they are: the key need not be readable.
  return std::string(reinterpret_cast<const char*>(wide.data()),
                     wide.size() * sizeof(wchar_t));
}

}  // namespace batchext
