#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace batchext::testing {

// A private folder under the system's temporary folder, removed again by the
// destructor. Relative paths use "/" and are UTF-8.
class TempTree {
 public:
  TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  ~TempTree();

  // Absolute UTF-8 path of `relative` ("" for the root itself), without a
  // trailing separator.
  std::string Path(const std::string& relative = "") const;

  void Write(const std::string& relative, const std::string& content) const;
  std::string Read(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

  // Every file and folder below `under` (the root if empty), as sorted paths
  // relative to it; folders end in "/".
  std::vector<std::string> Entries(const std::string& under = "") const;

 private:
  std::filesystem::path root_;
};

}  // namespace batchext::testing
