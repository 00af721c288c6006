#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace batchext {

// A folder path as a person typed, picked or dropped it, cleaned once at
// that boundary: every later step takes it as it stands.
class FolderPath {
 public:
  FolderPath() = default;
  // Reads the text the way the system reads a typed path (TypedFolderPath).
  static FolderPath Typed(std::string_view typed);

  bool empty() const { return text_.empty(); }
  const std::string& text() const { return text_; }

  // The folder a run writes to unless told otherwise: this folder's own
  // path followed directly by "(2)". Trailing separators go first, except a
  // root's ("D:\" gives "D:\(2)"), and a last "." or ".." is resolved, so
  // that the twin bears the folder's name.
  FolderPath Twin() const;

  friend bool operator==(const FolderPath&, const FolderPath&) = default;

 private:
  explicit FolderPath(std::string text) : text_(std::move(text)) {}

  std::string text_;
};

}  // namespace batchext
