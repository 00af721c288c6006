#include "cli/progress_line.h"

#include <algorithm>

#include "cli/shown_path.h"
#include "fs/console.h"

namespace batchext {

ProgressLine::ProgressLine(std::FILE* stream, bool enabled)
    : stream_(stream), enabled_(enabled) {}

void ProgressLine::Update(long long files_handled, long long total,
                          const ChainedPath::Ptr& folder) {
  if (!enabled_ || !folder) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_draw_) return;
  next_draw_ = now + std::chrono::milliseconds(100);
  // "\033[K" clears what a longer earlier line left behind.
  std::string count = std::to_string(files_handled);
  if (total > 0) count += "/" + std::to_string(std::max(total, files_handled));
  WriteText(stream_, "\r已处理 " + count + " 个文件，当前文件夹：" +
                         ShownPath(folder->Text()) + "\033[K");
  std::fflush(stream_);
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!shown_) return;
  WriteText(stream_, "\r\033[K");
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace batchext
