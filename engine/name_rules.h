#pragma once

#include <string>
#include <string_view>

namespace batchext {

// The extension a person meant by what they typed: outer spaces go, and one
// leading "." is the separator they wrote out (".png" means "png"); "..png"
// or "a.b" stay as typed.
std::string TypedExtension(std::string_view typed);

// The text after the last "." of the trimmed name, or empty.
std::string GetExtension(std::string_view name);

// "*" matches every name; otherwise the extensions compare lower-cased.
bool MatchesFromExt(std::string_view name, std::string_view from_ext);

// The name cut at the "." that GetExtension found; a name without "." is its
// own base name.
std::string BaseName(std::string_view name);

// Drops stacked extensions of one to five characters and stray dots:
// "abc.abc.txt" becomes "abc".
std::string StripSurplusExtensions(std::string_view base_name);

std::string TargetFileName(std::string_view base_name, std::string_view to_ext);

// MatchesFromExt for many names, lowering the from-extension once.
class ExtensionFilter {
 public:
  explicit ExtensionFilter(std::string_view from_ext);
  bool Matches(std::string_view name) const;

 private:
  bool every_name_;
  std::string lowered_ext_;
};

}  // namespace batchext
