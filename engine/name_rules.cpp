#include "engine/name_rules.h"

#include <algorithm>
#include <cstddef>

#include "fs/path_ops.h"
#include "fs/text_case.h"

namespace batchext {
namespace {

// Position in `name` of the "." that ends the base name, or npos.
std::size_t ExtensionDot(std::string_view name) {
  const auto trimmed = TrimSpaces(name);
  const auto dot = trimmed.rfind('.');
  if (dot == std::string_view::npos) return dot;
  return static_cast<std::size_t>(trimmed.data() - name.data()) + dot;
}

// Length of the valid UTF-8 sequence that starts `text`, or 0.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    // No overlong forms and no surrogates.
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Characters, not bytes: "草稿" is a two-character extension. Bytes that are
// not part of a valid UTF-8 sequence count one each.
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    text.remove_prefix(length == 0 ? 1 : length);
    ++count;
  }
  return count;
}

}  // namespace

std::string TypedExtension(std::string_view typed) {
  std::string_view text = TrimSpaces(typed);
  if (text.starts_with('.') && !text.starts_with("..")) text.remove_prefix(1);
  return std::string(text);
}

std::string GetExtension(std::string_view name) {
  const auto trimmed = TrimSpaces(name);
  const auto dot = trimmed.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(trimmed.substr(dot + 1));
}

bool MatchesFromExt(std::string_view name, std::string_view from_ext) {
  return ExtensionFilter(from_ext).Matches(name);
}

std::string BaseName(std::string_view name) {
  const auto dot = ExtensionDot(name);
  return std::string(dot == std::string_view::npos ? name
                                                   : name.substr(0, dot));
}

std::string StripSurplusExtensions(std::string_view base_name) {
  std::string_view base = base_name;
  while (true) {
    if (base.size() > 1 && base.back() == '.') {
      base.remove_suffix(1);
      continue;
    }
    const std::string extension = GetExtension(base);
    if (!extension.empty() && extension != base &&
        CharacterCount(extension) < 6) {
      base = base.substr(0, ExtensionDot(base));
      continue;
    }
    return std::string(base);
  }
}

std::string TargetFileName(std::string_view base_name,
                           std::string_view to_ext) {
  std::string name;
  name.reserve(base_name.size() + 1 + to_ext.size());
  name.append(base_name).append(".").append(to_ext);
  return name;
}

ExtensionFilter::ExtensionFilter(std::string_view from_ext)
    : every_name_(from_ext == "*"), lowered_ext_(ToLowerCase(from_ext)) {}

bool ExtensionFilter::Matches(std::string_view name) const {
  return every_name_ || ToLowerCase(GetExtension(name)) == lowered_ext_;
}

}  // namespace batchext
