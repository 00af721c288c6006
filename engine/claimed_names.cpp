#include "engine/claimed_names.h"

namespace batchext {
namespace {

std::size_t HashOf(std::string_view name) {
  return std::hash<std::string_view>{}(name);
}

}  // namespace

std::size_t ClaimedNames::Find(std::string_view name, std::size_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  const auto part = static_cast<std::uint32_t>(hash);
  for (std::size_t slot = (hash >> 32 ^ hash) & mask;;
       slot = (slot + 1) & mask) {
    const Slot& candidate = slots_[slot];
    if (candidate.position == 0 ||
        (candidate.hash == part && name_of_(candidate.position - 1) == name)) {
      return slot;
    }
  }
}

void ClaimedNames::Rehash(std::size_t capacity) {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(capacity, Slot{});
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& entry : old) {
    if (entry.position == 0) continue;
    const std::size_t hash = HashOf(name_of_(entry.position - 1));
    std::size_t slot = (hash >> 32 ^ hash) & mask;
    while (slots_[slot].position != 0) slot = (slot + 1) & mask;
    slots_[slot] = entry;
  }
}

void ClaimedNames::Reserve(std::size_t count) {
  std::size_t capacity = 16;
  while (capacity * 3 < (count + 1) * 4) capacity *= 2;
  if (capacity > slots_.size()) Rehash(capacity);
}

bool ClaimedNames::Contains(std::string_view name) const {
  return !slots_.empty() && slots_[Find(name, HashOf(name))].position != 0;
}

void ClaimedNames::Insert(std::string_view name, std::uint32_t position) {
  // At most three quarters full, so that probes stay short.
  if ((size_ + 1) * 4 > slots_.size() * 3) {
    Rehash(slots_.empty() ? 16 : slots_.size() * 2);
  }
  const std::size_t hash = HashOf(name);
  Slot& slot = slots_[Find(name, hash)];
  if (slot.position != 0) return;
  slot = Slot{position + 1, static_cast<std::uint32_t>(hash)};
  ++size_;
}

}  // namespace batchext
