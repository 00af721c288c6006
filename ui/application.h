#pragma once

namespace batchext {

inline constexpr char kApplicationTitle[] = "直接批量修改文件的后缀名";

// Process-wide settings that Qt needs before the QApplication exists.
void PrepareApplication();

}  // namespace batchext
