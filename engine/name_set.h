#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fs/name_table.h"

namespace batchext {

// A set of names at a few bytes each beside the names themselves, since one
// folder may hold a million of them.
class NameSet {
 public:
  // False when the name was there already.
  bool Insert(std::string_view name);
  bool Contains(std::string_view name) const;
  std::size_t size() const { return names_.size(); }

 private:
  // The slot holding `name`, or the free slot where it would go.
  std::size_t Find(std::string_view name) const;
  void Grow();

  NameTable names_;
  // Index + 1 into names_; 0 marks a free slot.
  std::vector<std::uint32_t> slots_;
};

}  // namespace batchext
