#include "fs/temporary_name.h"

#include <charconv>
#include <cstdio>

namespace batchext {
namespace {

constexpr std::string_view kPrefix = ".batchext-";
constexpr std::string_view kSuffix = ".tmp";

// Reads one "-"-ended field of `text` in `base`.
template <typename Number>
bool ReadField(std::string_view& text, int base, Number& value) {
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end == text.data() ||
      end == text.data() + text.size() || *end != '-') {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  return true;
}

}  // namespace

std::uint32_t ShortHash(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return hash;
}

std::string TemporaryName(const TemporaryOwner& owner, std::uint32_t random) {
  char text[96];
  std::snprintf(text, sizeof text, "%.*s%x-%08x-%llu-%08x%.*s",
                static_cast<int>(kPrefix.size()), kPrefix.data(), owner.user,
                owner.host, static_cast<unsigned long long>(owner.process),
                random, static_cast<int>(kSuffix.size()), kSuffix.data());
  return text;
}

bool IsLeftoverTemporary(std::string_view name) {
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  name.remove_prefix(kPrefix.size());
  name.remove_suffix(kSuffix.size());
  TemporaryOwner owner;
  if (!ReadField(name, 16, owner.user) || !ReadField(name, 16, owner.host) ||
      !ReadField(name, 10, owner.process)) {
    return false;
  }
  std::uint32_t random = 0;
  const auto [end, error] =
      std::from_chars(name.data(), name.data() + name.size(), random, 16);
  if (error != std::errc() || end != name.data() + name.size()) return false;
  // Processes of another machine sharing the folder cannot be asked.
  return owner.host == ThisProcess().host && ProcessGone(owner.process);
}

}  // namespace batchext
