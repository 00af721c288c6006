#include "fs/finished_files.h"

#include <algorithm>
#include <utility>

namespace batchext {

FinishedFiles::FinishedFiles(std::size_t at_once)
    : at_once_(std::clamp<std::size_t>(at_once, 1, 64)) {
  descriptors_.reserve(at_once_);
}

void FinishedFiles::TakeFrom(FinishedFiles& other) {
  descriptors_.insert(descriptors_.end(), other.descriptors_.begin(),
                      other.descriptors_.end());
  other.descriptors_.clear();
}

void FinishedFiles::Swap(FinishedFiles& other) noexcept {
  descriptors_.swap(other.descriptors_);
}

}  // namespace batchext
