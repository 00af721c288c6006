#include "fs/win_support.h"

namespace batchext {

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      result.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
      smallest = 0x10000;
    }
    bool valid = length > 0 && text.size() - i >= length;
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid || code < smallest || code > 0x10FFFF) {
      result.push_back(L'\xFFFD');
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<wchar_t>(code));
    }
    i += length;
  }
  return result;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = static_cast<char16_t>(text[i]);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      const char32_t low = static_cast<char16_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (code < 0x80) {
      result.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (code >> 6)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | (code >> 12)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | (code >> 18)));
      result.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return result;
}

std::string SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (buffer != nullptr) text.assign(buffer, length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "Windows error " + std::to_string(error);
  return WideToUtf8(text);
}

}  // namespace batchext
