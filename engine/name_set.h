#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace batchext {

// A set of byte strings at a few bytes each beside the strings themselves,
// since one folder may hold a million names.
class NameSet {
 public:
  // False when the name was there already.
  bool Insert(std::string_view name);
  bool Contains(std::string_view name) const;

 private:
  std::string_view At(std::uint32_t index) const;
  // The slot holding `name`, or the free slot where it would go.
  std::size_t Find(std::string_view name) const;
  void Grow();

  // The names one after another; a key may hold any byte, NUL included.
  std::string text_;
  std::vector<std::uint32_t> starts_;
  // Index + 1 into starts_; 0 marks a free slot.
  std::vector<std::uint32_t> slots_;
};

}  // namespace batchext
