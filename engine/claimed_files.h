#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/file_identity.h"

namespace batchext {

// The files a run has written, known by identity wherever a path leads. An
// open hash table per device keeps it near 16 bytes a file, since one
// folder may hold a million of them.
class ClaimedFiles {
 public:
  // Only a run whose trees can meet its own copies needs them: until told
  // to, nothing is kept.
  void StartKeeping() { keeping_ = true; }
  bool keeping() const { return keeping_; }
  void Insert(const FileIdentity& id);
  bool Contains(const FileIdentity& id) const;

 private:
  struct Device {
    std::uint64_t device = 0;
    // Index 0 marks a free slot, so a file numbered 0 is kept aside.
    std::vector<std::uint64_t> slots;
    std::size_t size = 0;
    bool has_zero = false;
  };

  static std::size_t Slot(const std::vector<std::uint64_t>& slots,
                          std::uint64_t index);
  static void Grow(Device& device);

  std::vector<Device> devices_;
  bool keeping_ = false;
};

}  // namespace batchext
