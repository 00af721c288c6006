#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fs/folder_flags_posix.h"
#include "fs/state_folder.h"
#include "fs/trash.h"

namespace batchext {
namespace {

std::string ErrorText(int error) {
  return std::system_category().message(error);
}

std::string Parent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the person's own trash is, whether or not it exists yet.
std::string HomeTrash() {
  const std::string data_home = UserFolder("XDG_DATA_HOME", "/.local/share");
  return data_home.empty() ? data_home : data_home + "/Trash";
}

// The device of the path, or of its nearest existing folder above.
bool DeviceNear(std::string path, dev_t& device) {
  struct stat info {};
  while (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT || path == "/") return false;
    path = Parent(path);
  }
  device = info.st_dev;
  return true;
}

// Makes each missing level, only for this user.
bool MakeFolders(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (errno != ENOENT || path == "/" || !MakeFolders(Parent(path))) {
    return false;
  }
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// A trash folder of a mounted file system must be the user's own folder,
// never a link someone else planted.
bool OwnFolder(const std::string& path) {
  struct stat info {};
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (::lstat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    errno = EPERM;
    return false;
  }
  return true;
}

// The highest folder above `folder` still on its file system.
std::string TopFolder(const std::string& folder, dev_t device) {
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) == nullptr) return {};
  std::string top = resolved;
  struct stat info {};
  while (top != "/") {
    const std::string parent = Parent(top);
    if (::stat(parent.c_str(), &info) != 0 || info.st_dev != device) break;
    top = parent;
  }
  return top;
}

// RFC 2396 escapes, "/" kept, as the record's Path= wants them.
std::string EscapePath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const unsigned char c : path) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
        (c >= '0' && c <= '9') ||
        std::string_view("/-_.!~*'()").find(static_cast<char>(c)) !=
            std::string_view::npos;
    if (plain) {
      escaped.push_back(static_cast<char>(c));
    } else {
      escaped += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return escaped;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  return ::write(fd, text.data(), text.size()) ==
         static_cast<ssize_t>(text.size());
}

// Every record of a trash, by its Path= value: deletion date and entry.
std::unordered_map<std::string,
                   std::vector<std::pair<std::string, std::string>>>
ReadRecords(const std::string& base) {
  std::unordered_map<std::string,
                     std::vector<std::pair<std::string, std::string>>>
      records;
  DIR* folder = ::opendir((base + "/info").c_str());
  if (folder == nullptr) return records;
  constexpr std::string_view kSuffix = ".trashinfo";
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (!name.ends_with(kSuffix)) continue;
    std::ifstream in(base + "/info/" + name);
    std::string line;
    std::string recorded;
    std::string date;
    while (std::getline(in, line)) {
      if (line.starts_with("Path=")) recorded = line.substr(5);
      if (line.starts_with("DeletionDate=")) date = line.substr(13);
    }
    records[recorded].emplace_back(
        date, name.substr(0, name.size() - kSuffix.size()));
  }
  ::closedir(folder);
  return records;
}

}  // namespace

struct Trash::Can {
  dev_t device = 0;
  // The trash folder, and the folder that relative records start from
  // ("" for records with full paths).
  std::string base;
  std::string top;
  int files = -1;
  int info = -1;
  // Why nothing can be kept on this file system.
  std::string error;
  // Where the row of free names of a name that was met before goes on, so
  // that many files of one name cost no search each.
  std::unordered_map<std::string, int> next_free;
  // The records, by Path= value: deletion date and entry, once read.
  std::optional<std::unordered_map<
      std::string, std::vector<std::pair<std::string, std::string>>>>
      records;

  ~Can() {
    if (files >= 0) ::close(files);
    if (info >= 0) ::close(info);
  }

  // The record's Path= for a file deleted from `path`.
  std::string Recorded(const std::string& path) const {
    if (!top.empty() && path.starts_with(top + "/")) {
      return EscapePath(path.substr(top.size() + 1));
    }
    return EscapePath(path);
  }

  bool Open() {
    if (!MakeFolders(base + "/files") || !MakeFolders(base + "/info")) {
      return false;
    }
    files = ::open((base + "/files").c_str(), kFolderOpenFlags);
    info = ::open((base + "/info").c_str(), kFolderOpenFlags);
    return files >= 0 && info >= 0;
  }
};

bool Trash::Supported() { return true; }

Trash::Trash() : home_trash_(HomeTrash()) {}

Trash::~Trash() = default;

Trash::Can& Trash::CanFor(std::uint64_t device, const std::string& path) {
  for (const auto& can : cans_) {
    if (can->device == device) return *can;
  }
  auto can = std::make_unique<Can>();
  can->device = device;
  dev_t home_device = 0;
  if (!home_trash_.empty() && DeviceNear(home_trash_, home_device) &&
      home_device == device) {
    can->base = home_trash_;
  } else if (const std::string top = TopFolder(Parent(path), device);
             !top.empty()) {
    can->top = top;
    const std::string shared = (top == "/" ? "" : top) + "/.Trash";
    const std::string uid = std::to_string(::geteuid());
    struct stat shared_info {};
    // A shared trash counts only as the administrator set it up: a real
    // folder with the sticky bit.
    if (::lstat(shared.c_str(), &shared_info) == 0 &&
        S_ISDIR(shared_info.st_mode) && (shared_info.st_mode & S_ISVTX) != 0 &&
        OwnFolder(shared + "/" + uid)) {
      can->base = shared + "/" + uid;
    } else if (OwnFolder(shared + "-" + uid)) {
      can->base = shared + "-" + uid;
    }
  }
  if (can->base.empty() || !can->Open()) {
    can->error = ErrorText(errno == 0 ? EACCES : errno);
  }
  cans_.push_back(std::move(can));
  return *cans_.back();
}

std::string Trash::Keep(const FolderHandle& folder, std::string_view name,
                        const std::string& path, std::string& why_not) {
  std::lock_guard lock(mutex_);
  struct stat info {};
  const dev_t device =
      ::fstat(folder.descriptor(), &info) == 0 ? info.st_dev : 0;
  errno = 0;
  Can& can = CanFor(device, path);
  if (!can.error.empty()) {
    why_not = can.error;
    return {};
  }
  const std::string record = "[Trash Info]\nPath=" + can.Recorded(path) +
                             "\nDeletionDate=" + Now() + "\n";
  const std::string original(name);
  const auto hint = can.next_free.find(original);
  const int first = hint == can.next_free.end() ? 1 : hint->second;
  // A trash that holds a thousand of the name already gets a random one:
  // failing to keep the file would lose it.
  constexpr int kCounted = 1000;
  std::optional<std::mt19937_64> random;
  const auto name_for = [&](int attempt) {
    if (attempt == 1) return original;
    if (attempt < first + kCounted) {
      return original + "." + std::to_string(attempt);
    }
    if (!random) random.emplace(std::random_device{}());
    return original + "." + std::to_string((*random)() % 1000000000 + 1001);
  };
  for (int attempt = first; attempt < first + kCounted + 100; ++attempt) {
    const std::string kept = name_for(attempt);
    const std::string record_name = kept + ".trashinfo";
    // The record comes first: its name, taken exclusively, reserves the
    // entry's.
    const int fd =
        ::openat(can.info, record_name.c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      why_not = ErrorText(errno);
      return {};
    }
    const bool written = WriteAll(fd, record);
    const int write_error = errno;
    if (::close(fd) != 0 || !written) {
      why_not = ErrorText(written ? errno : write_error);
      ::unlinkat(can.info, record_name.c_str(), 0);
      return {};
    }
    if (::linkat(folder.descriptor(), original.c_str(), can.files, kept.c_str(),
                 0) == 0) {
      if (attempt > 1) can.next_free[original] = attempt + 1;
      return can.base + "/files/" + kept;
    }
    const int error = errno;
    ::unlinkat(can.info, record_name.c_str(), 0);
    if (error != EEXIST) {
      why_not = ErrorText(error);
      return {};
    }
  }
  why_not = ErrorText(EEXIST);
  return {};
}

std::vector<std::string> Trash::KeptFor(const std::string& path,
                                        const std::string& since) {
  std::lock_guard lock(mutex_);
  struct stat info {};
  std::vector<std::string> kept;
  if (::stat(Parent(path).c_str(), &info) != 0) return kept;
  Can& can = CanFor(info.st_dev, path);
  if (!can.error.empty()) return kept;
  if (!can.records) can.records = ReadRecords(can.base);
  auto found = can.records->find(can.Recorded(path));
  if (found == can.records->end()) return kept;
  // Within a second, the later of two entries has the higher number.
  const std::size_t name_length = path.size() - path.find_last_of('/') - 1;
  const auto number = [name_length](const std::string& entry) {
    return entry.size() > name_length + 1
               ? std::atoi(entry.c_str() + name_length + 1)
               : 1;
  };
  std::vector<std::pair<std::string, std::string>>& entries = found->second;
  std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first
                              : number(a.second) < number(b.second);
  });
  for (const auto& [date, entry] : entries) {
    if (date >= since) kept.push_back(can.base + "/files/" + entry);
  }
  return kept;
}

}  // namespace batchext
