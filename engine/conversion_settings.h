#pragma once

#include <cstdint>
#include <string>

#include "fs/folder_path.h"

namespace batchext {

// The request and the counters of the last run. Member names follow the
// window's vocabulary.
struct ConversionSettings {
  FolderPath FromFolder;
  FolderPath TargetFolder;
  std::string FromExt;
  std::string ToExt;
  std::int32_t SuccessCount = 0;
  std::int32_t FailCount = 0;
  bool StripSurplusExtensions = false;
  bool IncludeSubfolders = false;
};

}  // namespace batchext
