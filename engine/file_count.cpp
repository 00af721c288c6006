#include "engine/file_count.h"

#include <utility>
#include <vector>

#include "engine/name_rules.h"
#include "fs/folder_handle.h"

namespace batchext {
namespace {

// Each level holds a folder open: past this the count gives up rather
// than take the run's descriptors.
constexpr std::size_t kDeepest = 64;

}  // namespace

FileCount::FileCount(FolderPath source, FolderPath target, std::string from_ext,
                     bool include_subfolders)
    : thread_([this, source = std::move(source), target = std::move(target),
               from_ext = std::move(from_ext), include_subfolders] {
        Count(source, target, from_ext, include_subfolders);
      }) {}

FileCount::~FileCount() {
  stop_ = true;
  thread_.join();
}

std::optional<std::int64_t> FileCount::Total() const {
  const std::int64_t total = total_.load(std::memory_order_acquire);
  if (total < 0) return std::nullopt;
  return total;
}

void FileCount::Count(const FolderPath& source, const FolderPath& target,
                      const std::string& from_ext, bool include_subfolders) {
  struct Level {
    FolderHandle folder;
    NameTable subfolders;
    std::size_t next = 0;
  };
  const ExtensionFilter filter(from_ext);
  // The run does not walk into its own target folder, which it may make
  // only after the count began.
  std::optional<FileIdentity> target_id;
  const auto look_for_target = [&] {
    if (target_id) return;
    const OpenedFolder opened = OpenFolder(target.text());
    if (opened.folder.valid()) target_id = IdentityOf(opened.folder);
  };
  std::int64_t total = 0;
  std::vector<Level> levels;
  // A folder the run cannot read counts nothing there either.
  const auto enter = [&](FolderHandle folder) {
    FolderListing listing = ListFolder(folder);
    if (!listing.error.empty()) return true;
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
      if (filter.Matches(listing.files[i])) ++total;
    }
    if (include_subfolders && !listing.subfolders.empty()) {
      levels.push_back({std::move(folder), std::move(listing.subfolders), 0});
    }
    return levels.size() <= kDeepest;
  };
  OpenedFolder root = OpenFolder(source.text());
  bool counted = root.folder.valid() && enter(std::move(root.folder));
  while (counted && !levels.empty()) {
    if (stop_) return;
    Level& level = levels.back();
    if (level.next == level.subfolders.size()) {
      levels.pop_back();
      continue;
    }
    OpenedFolder sub =
        OpenSubfolder(level.folder, level.subfolders[level.next++]);
    look_for_target();
    if (sub.folder.valid() &&
        (!target_id || IdentityOf(sub.folder) != target_id)) {
      counted = enter(std::move(sub.folder));
    }
  }
  total_.store(counted ? total : kUnknown, std::memory_order_release);
}

}  // namespace batchext
