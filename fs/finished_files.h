#pragma once

#include <cstddef>
#include <vector>

namespace batchext {

// Files a job is done with whose closing can report nothing (a file only
// read, a copy on a file system that writes nothing back on closing), closed
// a batch at a time: where the system closes a range of descriptors in one
// call, a batch costs one call, not one a file. Windows, which closes one
// handle per call whatever is done, closes each as it is added.
class FinishedFiles {
 public:
  // Closes them once `at_once` (at most 64) are held.
  explicit FinishedFiles(std::size_t at_once = 16);
  FinishedFiles(const FinishedFiles&) = delete;
  FinishedFiles& operator=(const FinishedFiles&) = delete;
  ~FinishedFiles() { CloseAll(); }

  // Takes over `descriptor`, an open file of this process.
  void Add(int descriptor);
  void CloseAll();
  bool empty() const { return descriptors_.empty(); }
  // Takes over all that `other` holds, closing nothing yet: several jobs'
  // files together make longer runs of descriptors.
  void TakeFrom(FinishedFiles& other);
  // As many are held as are closed at once.
  bool Due() const { return descriptors_.size() >= at_once_; }
  void Swap(FinishedFiles& other) noexcept;

 private:
  std::vector<int> descriptors_;
  std::size_t at_once_;
};

}  // namespace batchext
