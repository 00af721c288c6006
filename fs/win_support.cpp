#include "fs/win_support.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace batchext {
namespace {

wchar_t AsciiUpper(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool EqualsAsciiUpper(std::wstring_view text, std::wstring_view upper) {
  return text.size() == upper.size() &&
         std::equal(text.begin(), text.end(), upper.begin(),
                    [](wchar_t a, wchar_t b) { return AsciiUpper(a) == b; });
}

// The digits Windows accepts after COM and LPT, superscripts included.
bool IsPortDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' ||
         c == L'\u00B3';
}

// Windows looks at the part before the first dot, without trailing spaces.
bool IsDeviceName(std::wstring_view name) {
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  constexpr std::array<std::wstring_view, 6> kDevices = {
      L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const std::wstring_view device : kDevices) {
    if (EqualsAsciiUpper(stem, device)) return true;
  }
  return stem.size() == 4 && IsPortDigit(stem[3]) &&
         (EqualsAsciiUpper(stem.substr(0, 3), L"COM") ||
          EqualsAsciiUpper(stem.substr(0, 3), L"LPT"));
}

// FNV-1a over the UTF-16 units, two ways, so that the pair spans 128 bits.
std::uint64_t HashOf(std::wstring_view text, std::uint64_t basis) {
  std::uint64_t hash = basis;
  for (const wchar_t c : text) {
    hash = (hash ^ static_cast<std::uint16_t>(c)) * 0x100000001B3ULL;
  }
  return hash;
}

// Keeps identities made of paths apart from those made of indexes.
constexpr std::uint64_t kPathDevice = std::uint64_t{1} << 32;

}  // namespace

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
  // In Chinese like every other text, where the system has the words.
  const auto ask = [&](DWORD language, wchar_t*& buffer) {
    return ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                FORMAT_MESSAGE_FROM_SYSTEM |
                                FORMAT_MESSAGE_IGNORE_INSERTS,
                            nullptr, error, language,
                            reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  };
  wchar_t* buffer = nullptr;
  DWORD length = ask(
      MAKELANGID(LANG_CHINESE_SIMPLIFIED, SUBLANG_CHINESE_SIMPLIFIED), buffer);
  if (length == 0) length = ask(0, buffer);
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

FileIdentity IdentityFromFacts(const IdentityFacts& facts) {
  if (facts.stable_index && (facts.index != 0 || facts.index_high != 0)) {
    return FileIdentity{facts.volume_serial, facts.index, facts.index_high};
  }
  if (facts.final_path.empty()) return {};
  std::wstring upper = facts.final_path;
  const int size = static_cast<int>(upper.size());
  ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, upper.data(), size,
                  upper.data(), size, nullptr, nullptr, 0);
  // An index of 0 marks a free slot where identities are kept.
  const std::uint64_t index = HashOf(upper, 0xCBF29CE484222325ULL) | 1;
  return FileIdentity{kPathDevice | facts.volume_serial, index,
                      HashOf(upper, 0x84222325CBF29CE4ULL)};
}

void TakeFileId(const FILE_ID_INFO& id, IdentityFacts& facts) {
  static_assert(sizeof(id.FileId.Identifier) == 2 * sizeof(facts.index));
  std::copy_n(id.FileId.Identifier, sizeof(facts.index),
              reinterpret_cast<BYTE*>(&facts.index));
  std::copy_n(id.FileId.Identifier + sizeof(facts.index),
              sizeof(facts.index_high),
              reinterpret_cast<BYTE*>(&facts.index_high));
  // The older form holds the serial's lower half only.
  facts.volume_serial = static_cast<std::uint32_t>(id.VolumeSerialNumber);
}

FileIdentity IdentityOfHandle(HANDLE handle) {
  IdentityFacts facts;
  FILE_ID_INFO id{};
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof(id))) {
    TakeFileId(id, facts);
  } else if (::GetFileInformationByHandle(handle, &info)) {
    facts.volume_serial = info.dwVolumeSerialNumber;
    facts.index =
        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  } else {
    return {};
  }
  DWORD flags = 0;
  facts.stable_index =
      ::GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr,
                                      &flags, nullptr, 0) &&
      (flags & FILE_SUPPORTS_OPEN_BY_FILE_ID) != 0;
  if (!facts.stable_index) facts.final_path = FinalPathOfHandle(handle);
  return IdentityFromFacts(facts);
}

std::wstring FinalPathOfHandle(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length);
  }
}

bool CanEndFileName(std::wstring_view text) {
  if (!text.empty() && (text.back() == L'.' || text.back() == L' ')) {
    return false;
  }
  return std::ranges::none_of(text, [](wchar_t c) {
    return c < 0x20 ||
           std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
  });
}

bool IsAllowedFileName(std::wstring_view name) {
  return !name.empty() && CanEndFileName(name) && !IsDeviceName(name);
}

bool IsNamedDataStream(std::wstring_view stream) {
  constexpr std::wstring_view kData = L":$DATA";
  return stream.size() > 1 + kData.size() && stream.front() == L':' &&
         stream.ends_with(kData);
}

}  // namespace batchext
