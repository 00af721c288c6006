#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "fs/native_path.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace batchext {
namespace {

#ifndef _WIN32
namespace fs = std::filesystem;
using testing::ChildResult;
using testing::TempTree;

// Where the run's two folders lie relative to each other.
struct Layout {
  std::string source, target;
};
const Layout kBeside{"/w/in", "/w/out"};

// A random tree whose names collide often: several files map to one name,
// some only by case, some onto files already in the target.
class RandomTree {
 public:
  RandomTree(std::uint32_t seed, std::string root)
      : random_(seed), root_(std::move(root)) {}

  void Build(const std::string& source, const std::string& target) {
    fs::create_directories(ToNativePath(root_ + source));
    Fill(source, 0);
    if (target != source) Spoil(target);
    Links(source, target);
  }

 private:
  std::uint32_t Next(std::uint32_t n) { return random_() % n; }

  std::string Name() {
    static const char* const kBases[] = {
        "a", "A",  "b",     "a.b", "a.txt",     "x y",         "照片",
        "ß", "SS", "\xff.", "é",   "e\xcc\x81", "longer name", "c"};
    static const char* const kExtensions[] = {".doc", ".txt", ".TXT",
                                              ".Doc", "",     ".doc.doc"};
    return std::string(kBases[Next(std::size(kBases))]) +
           kExtensions[Next(std::size(kExtensions))];
  }

  void WriteFile(const std::string& relative) {
    const std::string path = root_ + relative;
    if (fs::exists(fs::symlink_status(ToNativePath(path)))) return;
    // Mostly small; now and then one that takes several chunks.
    const std::size_t size =
        Next(40) == 0 ? (9u << 20) + Next(4096) : Next(5000);
    std::string content(size, '\0');
    for (char& c : content) c = static_cast<char>('a' + random_() % 26);
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << content) << path;
    // Copies keep both, so that the two runs can be told apart by them.
    const timespec times[2] = {{1'600'000'000 + Next(1000), 0},
                               {1'500'000'000 + Next(1000), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    ::chmod(path.c_str(), Next(6) == 0 ? 0444 : 0644);
  }

  void Fill(const std::string& folder, int depth) {
    for (std::uint32_t i = Next(14); i > 0; --i)
      WriteFile(folder + "/" + Name());
    if (depth == 3) return;
    for (std::uint32_t i = Next(depth == 0 ? 4 : 3); i > 0; --i) {
      static const char* const kFolders[] = {"d", "D", "a.txt",
                                             "e\xcc\x81"
                                             "d"};
      const std::string sub =
          folder + "/" + kFolders[Next(std::size(kFolders))];
      // A file may hold the name already.
      std::error_code error;
      fs::create_directories(ToNativePath(root_ + sub), error);
      if (!error) Fill(sub, depth + 1);
    }
  }

  // Files, folders and read-only files already at names the copies want.
  void Spoil(const std::string& target) {
    fs::create_directories(ToNativePath(root_ + target));
    for (std::uint32_t i = Next(6); i > 0; --i) {
      const std::string name = target + "/" + Name();
      if (Next(3) == 0) {
        fs::create_directories(ToNativePath(root_ + name));
      } else {
        WriteFile(name);
      }
    }
  }

  void Links(const std::string& source, const std::string& target) {
    const std::string s = root_ + source;
    fs::create_symlink(ToNativePath(s + "/d"), ToNativePath(s + "/folder.doc"));
    fs::create_symlink("nowhere", ToNativePath(s + "/dangling.doc"));
    ::mkfifo((s + "/fifo.doc").c_str(), 0644);
    WriteFile(source + "/linked.doc");
    WriteFile(source + "/m.doc");
    // Other names of a source file where copies land: the one of its own copy
    // leaves it claimed, so that the later m.doc must not replace it.
    fs::create_directories(ToNativePath(root_ + target));
    for (const char* twin : {"/linked.txt", "/m.txt"}) {
      const std::string path = root_ + target + twin;
      if (!fs::exists(fs::symlink_status(ToNativePath(path)))) {
        ::link((s + "/linked.doc").c_str(), path.c_str());
      }
    }
  }

  std::mt19937 random_;
  std::string root_;
};

// Everything below `root` that a run could have touched, in one string.
std::string Snapshot(const std::string& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry :
       fs::recursive_directory_iterator(ToNativePath(root))) {
    const std::string path = entry.path().string();
    struct stat info {};
    ::lstat(path.c_str(), &info);
    std::string text =
        std::to_string(info.st_mode) + " " + std::to_string(info.st_nlink);
    if (S_ISREG(info.st_mode)) {
      text += " " + std::to_string(info.st_mtim.tv_sec) + " " +
              std::to_string(info.st_size) + " " +
              std::to_string(std::hash<std::string>{}(
                  (std::ostringstream() << std::ifstream(path).rdbuf()).str()));
    } else if (S_ISLNK(info.st_mode)) {
      text += " -> " + fs::read_symlink(entry.path()).string();
    }
    entries[path.substr(root.size())] = text;
  }
  std::string all;
  for (const auto& [path, text] : entries) all += path + " " + text + "\n";
  return all;
}

// The run's exit code, its output and the tree it left, in one text.
std::string RunOnce(std::uint32_t seed, const Layout& layout,
                    const std::string& root, int jobs) {
  fs::remove_all(ToNativePath(root + "/w"));
  RandomTree(seed, root).Build(layout.source, layout.target);
  std::mt19937 options(seed);
  std::vector<std::string> arguments = {
      root + layout.source,       root + layout.target, "-rvq", "-t", "txt",
      "-j" + std::to_string(jobs)};
  if (options() % 2) arguments.insert(arguments.end(), {"-f", "doc"});
  if (options() % 2) arguments.push_back("-s");
  const ChildResult result = testing::RunChild(BATCHEXT_CLI_PATH, arguments);
  return std::to_string(result.exit_code) + "\n" + result.out + "\n" +
         result.err + "\n" + Snapshot(root + "/w");
}

void ExpectSameAsOneJob(std::uint32_t seed, const Layout& layout,
                        const std::string& root) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  const std::string one = RunOnce(seed, layout, root, 1);
  EXPECT_EQ(one, RunOnce(seed, layout, root, 4));
}

TEST(ParallelRunTest, EveryLayoutOfRandomTreesEndsAsWithOneJob) {
  TempTree tree;
  // Beside, in place, target inside the source, source inside the target.
  const Layout layouts[] = {kBeside,
                            {"/w/in", "/w/in"},
                            {"/w/in", "/w/in/out"},
                            {"/w/out/in", "/w/out"}};
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    ExpectSameAsOneJob(seed, layouts[seed % 4], tree.Path());
  }
}

TEST(ParallelRunTest, ACaseFoldingTargetEndsAsWithOneJob) {
  TempTree tree;
  const std::string mount_point = tree.Path("folding");
  fs::create_directory(ToNativePath(mount_point));
  if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "casefold") != 0) {
    GTEST_SKIP() << "cannot mount a case-folding tmpfs here (needs root and a "
                    "kernel with case folding): "
                 << std::strerror(errno);
  }
  const int folder = ::open(mount_point.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  const bool folds = ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 &&
                     ((flags |= FS_CASEFOLD_FL),
                      ::ioctl(folder, FS_IOC_SETFLAGS, &flags) == 0);
  ::close(folder);
  if (folds) {
    for (std::uint32_t seed = 100; seed < 108; ++seed) {
      ExpectSameAsOneJob(seed, kBeside, mount_point);
    }
  }
  ::umount(mount_point.c_str());
  if (!folds) GTEST_SKIP() << "the mount does not fold case";
}
#endif

}  // namespace
}  // namespace batchext
