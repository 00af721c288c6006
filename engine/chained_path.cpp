#include "engine/chained_path.h"

#include <cstring>
#include <utility>

#include "fs/path_ops.h"

namespace batchext {

ChainedPath::ChainedPath(Ptr parent, std::string part)
    : parent_(std::move(parent)),
      part_(std::move(part)),
      length_((parent_ ? parent_->length_ : 0) + part_.size()) {}

ChainedPath::Ptr ChainedPath::Root(std::string_view path) {
  return Ptr(new ChainedPath(
      nullptr, path.empty() ? std::string() : AddTrailingSlash(path)));
}

ChainedPath::Ptr ChainedPath::Child(Ptr parent, std::string_view name) {
  std::string part(name);
  part.push_back(PreferredSeparator());
  return Ptr(new ChainedPath(std::move(parent), std::move(part)));
}

ChainedPath::~ChainedPath() {
  Ptr next = std::move(parent_);
  // Only the sole owner of an ancestor may take its parent from it.
  while (next && next.use_count() == 1) next = std::move(next->parent_);
}

std::string ChainedPath::Join(std::string_view name) const {
  std::string text(length_ + name.size(), '\0');
  // A view of nothing may point nowhere, which memcpy must not be given.
  if (!name.empty()) {
    std::memcpy(text.data() + length_, name.data(), name.size());
  }
  std::size_t end = length_;
  for (const ChainedPath* at = this; at; at = at->parent_.get()) {
    end -= at->part_.size();
    std::memcpy(text.data() + end, at->part_.data(), at->part_.size());
  }
  return text;
}

std::string_view ChainedPath::Name() const {
  std::string_view name = part_;
  if (parent_) name.remove_suffix(1);
  return name;
}

}  // namespace batchext
