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

// Characters, not bytes: "草稿" is a two-character extension. Bytes that are
// not UTF-8 count one each.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(),
      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

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
