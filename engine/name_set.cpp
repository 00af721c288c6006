#include "engine/name_set.h"

#include <functional>
#include <string_view>

namespace batchext {

std::size_t NameSet::Find(std::string_view name) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = std::hash<std::string_view>{}(name)&mask;
  while (slots_[slot] != 0 && names_[slots_[slot] - 1] != name) {
    slot = (slot + 1) & mask;
  }
  return slot;
}

void NameSet::Grow() {
  std::vector<std::uint32_t> old = std::move(slots_);
  slots_.assign(old.empty() ? 16 : old.size() * 2, 0);
  for (const std::uint32_t index : old) {
    if (index != 0) slots_[Find(names_[index - 1])] = index;
  }
}

bool NameSet::Insert(std::string_view name) {
  // At most three quarters full, so that probes stay short.
  if ((names_.size() + 1) * 4 > slots_.size() * 3) Grow();
  const std::size_t slot = Find(name);
  if (slots_[slot] != 0) return false;
  names_.Add(name);
  slots_[slot] = static_cast<std::uint32_t>(names_.size());
  return true;
}

bool NameSet::Contains(std::string_view name) const {
  return !slots_.empty() && slots_[Find(name)] != 0;
}

}  // namespace batchext
