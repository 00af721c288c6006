#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace batchext {

// A folder's path held as its own name under its parent's, so that each
// level of a deep tree costs its name rather than its whole path. The text
// is built only when someone asks for it.
class ChainedPath {
 public:
  using Ptr = std::shared_ptr<const ChainedPath>;

  // A folder as given; a separator is added where it lacks one. The empty
  // path stands for names alone.
  static Ptr Root(std::string_view path);
  static Ptr Child(Ptr parent, std::string_view name);

  ChainedPath(const ChainedPath&) = delete;
  ChainedPath& operator=(const ChainedPath&) = delete;
  // Lets go of the ancestors one by one: a long chain must not recurse.
  ~ChainedPath();

  // The folder's path, ending in a separator.
  std::string Text() const { return Join({}); }
  // The path of `name` in the folder.
  std::string Join(std::string_view name) const;
  // The folder's name in its parent; for a root, its whole path.
  std::string_view Name() const;
  // Empty for a root.
  const Ptr& parent() const { return parent_; }

 private:
  ChainedPath(Ptr parent, std::string part);

  // Taken by the destructor of the last child.
  mutable Ptr parent_;
  // The name and its separator; for a root, the whole path.
  const std::string part_;
  const std::size_t length_;
};

}  // namespace batchext
