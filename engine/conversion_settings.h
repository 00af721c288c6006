#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace batchext {

// The request and the counters of the last run. Member names follow the
// window's vocabulary.
struct ConversionSettings {
  std::string FromFolder;
  std::string TargetFolder;
  std::string FromExt;
  std::string ToExt;
  std::int32_t SuccessCount = 0;
  std::int32_t FailCount = 0;
  bool StripSurplusExtensions = false;
  bool IncludeSubfolders = false;
  // Decides everything as a run would and writes nothing.
  bool preview = false;
};

// Values are the platform's message-box style values.
enum class MessageStyle : int {
  kPlain = 0,
  kError = 16,
  kWarning = 48,
  kInformation = 64,
};

// Shows one modal message and returns once it is closed.
using ShowMessage = std::function<void(
    const std::string& text, const std::string& title, MessageStyle style)>;

}  // namespace batchext
