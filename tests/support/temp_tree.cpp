#include "tests/support/temp_tree.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "fs/native_path.h"

namespace batchext::testing {
namespace {

std::filesystem::path UniqueFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("batchext-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
  throw std::runtime_error("no temporary folder");
}

}  // namespace

// In the platform's own form, which on Windows lets the cleanup reach deep
// paths and names that end in a dot or a space.
TempTree::TempTree() : root_(ToNativePath(FromNativePath(UniqueFolder()))) {}

TempTree::~TempTree() {
  std::error_code error;
  // Read-only entries made by a test must not keep the tree alive.
  for (auto it = std::filesystem::recursive_directory_iterator(root_, error);
       !error && it != std::filesystem::recursive_directory_iterator();
       it.increment(error)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add |
                                     std::filesystem::perm_options::nofollow,
                                 error);
  }
  std::filesystem::remove_all(root_, error);
}

std::string TempTree::Path(const std::string& relative) const {
  std::string path = FromNativePath(root_);
  if (relative.empty()) return path;
  // Joined as text: the platform path of a relative path may be absolute.
  path += '/' + relative;
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

void TempTree::Write(const std::string& relative,
                     const std::string& content) const {
  const auto path = ToNativePath(Path(relative));
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) throw std::runtime_error("cannot write " + Path(relative));
}

std::string TempTree::Read(const std::string& relative) const {
  std::ifstream in(ToNativePath(Path(relative)), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + Path(relative));
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void TempTree::MakeFolder(const std::string& relative) const {
  std::filesystem::create_directories(ToNativePath(Path(relative)));
}

bool TempTree::Exists(const std::string& relative) const {
  std::error_code error;
  return std::filesystem::exists(
      std::filesystem::symlink_status(ToNativePath(Path(relative)), error));
}

std::vector<std::string> TempTree::Entries(const std::string& under) const {
  const auto base = ToNativePath(Path(under));
  const std::size_t prefix = FromNativePath(base).size() + 1;
  std::vector<std::string> entries;
  std::error_code missing;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(base, missing)) {
    // As text: std::filesystem does not parse the long-path form of Windows.
    std::string relative = FromNativePath(entry.path()).substr(prefix);
#ifdef _WIN32
    std::replace(relative.begin(), relative.end(), '\\', '/');
#endif
    if (entry.is_directory() && !entry.is_symlink()) relative += "/";
    entries.push_back(relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace batchext::testing
