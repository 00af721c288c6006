#include "engine/claimed_files.h"

#include <algorithm>

namespace batchext {

std::size_t ClaimedFiles::Slot(const std::vector<std::uint64_t>& slots,
                               std::uint64_t index) {
  // File numbers are often consecutive; the multiplication spreads them.
  const std::size_t mask = slots.size() - 1;
  std::size_t slot =
      static_cast<std::size_t>((index * 0x9E3779B97F4A7C15ULL) >> 20) & mask;
  while (slots[slot] != 0 && slots[slot] != index) slot = (slot + 1) & mask;
  return slot;
}

void ClaimedFiles::Grow(Device& device) {
  std::vector<std::uint64_t> old = std::move(device.slots);
  device.slots.assign(std::max<std::size_t>(64, old.size() * 2), 0);
  for (const std::uint64_t index : old) {
    if (index != 0) device.slots[Slot(device.slots, index)] = index;
  }
}

void ClaimedFiles::Insert(const FileIdentity& id) {
  // A question that failed names no file, so it claims none.
  if (!keeping_ || id.IsZero()) return;
  auto it =
      std::find_if(devices_.begin(), devices_.end(),
                   [&](const Device& d) { return d.device == id.device; });
  if (it == devices_.end()) {
    devices_.push_back(Device{id.device, {}, 0, false});
    it = devices_.end() - 1;
  }
  if (id.index == 0) {
    it->has_zero = true;
    return;
  }
  // At most three quarters full, so that probes stay short.
  if ((it->size + 1) * 4 > it->slots.size() * 3) Grow(*it);
  std::uint64_t& slot = it->slots[Slot(it->slots, id.index)];
  if (slot == 0) ++it->size;
  slot = id.index;
}

bool ClaimedFiles::Contains(const FileIdentity& id) const {
  for (const Device& device : devices_) {
    if (device.device != id.device) continue;
    if (id.index == 0) return device.has_zero;
    return !device.slots.empty() &&
           device.slots[Slot(device.slots, id.index)] == id.index;
  }
  return false;
}

}  // namespace batchext
