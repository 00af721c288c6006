#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "fs/finished_files.h"

namespace batchext {
namespace {

// Closes [first, last] in one call where the system can; false where it
// cannot, and then nothing was closed.
bool CloseRange(int first, int last) {
// ThreadSanitizer does not see this call, so it would take a number opened
// again after it for a race.
#if defined(__linux__) && !defined(__SANITIZE_THREAD__)
  if (::close_range(static_cast<unsigned>(first), static_cast<unsigned>(last),
                    0) == 0) {
    return true;
  }
  // Both are refused before anything is closed; any other answer came
  // after the closing.
  return errno != ENOSYS && errno != EINVAL;
#else
  (void)first;
  (void)last;
  return false;
#endif
}

}  // namespace

void FinishedFiles::Add(int descriptor) {
  descriptors_.push_back(descriptor);
  if (Due()) CloseAll();
}

void FinishedFiles::CloseAll() {
  std::sort(descriptors_.begin(), descriptors_.end());
  // Descriptors are handed out lowest first, so the files a run finishes
  // mostly follow each other; only a run wholly held here may be closed as
  // a range.
  const auto end = descriptors_.end();
  for (auto first = descriptors_.begin(); first != end;) {
    auto last = first;
    while (last + 1 != end && *(last + 1) == *last + 1) ++last;
    if (last == first || !CloseRange(*first, *last)) {
      for (auto it = first; it <= last; ++it) ::close(*it);
    }
    first = last + 1;
  }
  descriptors_.clear();
}

}  // namespace batchext
