#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace batchext {

// Plain names, without any folder part.
using NameList = std::vector<std::string>;

// Names kept in one block of text, a few bytes each beside the name itself,
// since one folder may hold a million of them.
class NameTable {
 public:
  void Add(std::string_view name);
  // By code point, which for UTF-8 is the order of the bytes as unsigned.
  void Sort();

  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_.c_str() + starts_[i]);
  }
  NameList ToList() const;

 private:
  // Each name followed by a NUL, which no name contains.
  std::string text_;
  std::vector<std::uint32_t> starts_;
};

}  // namespace batchext
