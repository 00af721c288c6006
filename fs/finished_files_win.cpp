#include <windows.h>

#include "fs/finished_files.h"
#include "fs/win_handles.h"

namespace batchext {

// Windows closes one handle per call whatever is done, so none is held.
void FinishedFiles::Add(int descriptor) {
  ::CloseHandle(HandleOfDescriptor(descriptor));
}

void FinishedFiles::CloseAll() {
  for (const int descriptor : descriptors_) {
    ::CloseHandle(HandleOfDescriptor(descriptor));
  }
  descriptors_.clear();
}

}  // namespace batchext
