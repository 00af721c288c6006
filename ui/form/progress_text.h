#pragma once

#include <string>

namespace batchext {

// The texts of the progress dialog that a long run shows, in every window.
inline constexpr char kProgressCancelCaption[] = "取消";
inline constexpr char kProgressFolderLabel[] = "当前文件夹：";

inline std::string ProgressCountLine(long long files_handled) {
  return "正在修改文件的后缀名，已处理" + std::to_string(files_handled) +
         "个文件";
}

}  // namespace batchext
