#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace batchext {

// The new names the files of one folder have claimed. A name is kept as the
// position of the file that claimed it, and made again from that file when a
// look-up needs it, so that a million files cost a few bytes each.
class ClaimedNames {
 public:
  using NameOf = std::function<std::string(std::uint32_t position)>;

  explicit ClaimedNames(NameOf name_of) : name_of_(std::move(name_of)) {}

  // Room for `count` names, so that no name is made again to grow.
  void Reserve(std::size_t count);
  bool Contains(std::string_view name) const;
  void Insert(std::string_view name, std::uint32_t position);

 private:
  struct Slot {
    // Position + 1; 0 marks a free slot.
    std::uint32_t position = 0;
    // Part of the name's hash, so that only a likely match is made again.
    std::uint32_t hash = 0;
  };

  // The slot holding `name`, or the free slot where it would go.
  std::size_t Find(std::string_view name, std::size_t hash) const;
  void Rehash(std::size_t capacity);

  NameOf name_of_;
  std::vector<Slot> slots_;
  std::size_t size_ = 0;
};

}  // namespace batchext
