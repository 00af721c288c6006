#include "cli/shown_path.h"

#include <cstdint>
#include <cstdio>

namespace batchext {
namespace {

// The length of the UTF-8 character at the start of `text` when it is a
// printable one; 0 for a control character or a byte that is no UTF-8.
std::size_t PrintableLength(std::string_view text) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(0);
  if (lead < 0x20 || lead == 0x7f) return 0;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if ((lead & 0xe0) == 0xc0) {
    length = 2;
    code = lead & 0x1f;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3;
    code = lead & 0x0f;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3f);
  }
  constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = code >= kLeast[length] && code <= 0x10ffff &&
                     (code < 0xd800 || code > 0xdfff);
  // The C1 controls, which some terminals obey as well.
  const bool control = code >= 0x80 && code < 0xa0;
  return valid && !control ? length : 0;
}

std::string Escaped(char c) {
  switch (c) {
    case '\a':
      return "\\a";
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\v':
      return "\\v";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    case '\\':
      return "\\\\";
    case '\'':
      return "\\'";
    default: {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o",
                    static_cast<unsigned char>(c));
      return octal;
    }
  }
}

}  // namespace

std::string ShownPath(std::string_view path) {
  bool safe = true;
  for (std::size_t i = 0; i < path.size() && safe;) {
    const std::size_t length = PrintableLength(path.substr(i));
    safe = length > 0;
    i += length;
  }
  if (safe) return std::string(path);
  std::string shown = "$'";
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = PrintableLength(path.substr(i));
    if (length == 0 || path[i] == '\\' || path[i] == '\'') {
      shown += Escaped(path[i]);
      ++i;
    } else {
      shown.append(path, i, length);
      i += length;
    }
  }
  return shown + "'";
}

}  // namespace batchext
