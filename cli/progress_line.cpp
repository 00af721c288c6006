#include "cli/progress_line.h"

namespace batchext {

ProgressLine::ProgressLine(std::FILE* stream, bool enabled)
    : stream_(stream), enabled_(enabled) {}

void ProgressLine::Update(long long files_handled, const std::string& folder) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < next_draw_) return;
  next_draw_ = now + std::chrono::milliseconds(100);
  // "\033[K" clears what a longer earlier line left behind.
  std::fprintf(stream_, "\r已处理 %lld 个文件，当前文件夹：%s\033[K",
               files_handled, folder.c_str());
  std::fflush(stream_);
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace batchext
