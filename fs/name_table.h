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
  // `tag` is one byte of the caller's about the name, kept beside it.
  void Add(std::string_view name, std::uint8_t tag = 0);
  // By code point, which for UTF-8 is the order of the bytes as unsigned.
  void Sort();

  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_.c_str() + starts_[i]);
  }
  std::uint8_t tag(std::size_t i) const {
    return static_cast<std::uint8_t>(text_[starts_[i] - 1]);
  }
  NameList ToList() const;

 private:
  // Each name after its tag and followed by a NUL, which no name contains.
  std::string text_;
  std::vector<std::uint32_t> starts_;
};

}  // namespace batchext
