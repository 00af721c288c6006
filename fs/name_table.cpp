#include "fs/name_table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace batchext {

void NameTable::Add(std::string_view name, std::uint8_t tag) {
  if (text_.size() >=
      std::numeric_limits<std::uint32_t>::max() - name.size() - 1) {
    throw std::length_error("too many names in one folder");
  }
  text_.push_back(static_cast<char>(tag));
  starts_.push_back(static_cast<std::uint32_t>(text_.size()));
  text_.append(name).push_back('\0');
}

void NameTable::Sort() {
  // strcmp compares as unsigned bytes, and no name holds a NUL.
  const auto before = [this](std::uint32_t a, std::uint32_t b) {
    return std::strcmp(text_.c_str() + a, text_.c_str() + b) < 0;
  };
  // Many folders list in the order their files were made, often by name.
  if (std::is_sorted(starts_.begin(), starts_.end(), before)) return;
  std::sort(starts_.begin(), starts_.end(), before);
}

NameList NameTable::ToList() const {
  NameList list;
  list.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) list.emplace_back((*this)[i]);
  return list;
}

}  // namespace batchext
