#pragma once

#include <functional>
#include <string>

namespace batchext {

// Values are the platform's message-box style values.
enum class MessageStyle : int {
  kPlain = 0,
  kError = 16,
  kWarning = 48,
  kInformation = 64,
};

// What one box says, under which title and icon.
struct Message {
  std::string text;
  std::string title;
  MessageStyle style = MessageStyle::kPlain;
};

// Shows one modal message and returns once it is closed.
using ShowMessage = std::function<void(
    const std::string& text, const std::string& title, MessageStyle style)>;

}  // namespace batchext
