#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
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

#include "fs/error_text_posix.h"
#endif

namespace batchext {
namespace {

#ifndef _WIN32
namespace fs = std::filesystem;
using testing::ChildResult;
using testing::TempTree;
using Strings = std::vector<std::string>;

// Where the run's two folders lie relative to each other.
struct Layout {
  std::string source, target;
};
const Layout kBeside{"/w/in", "/w/out"};
const Layout kInPlace{"/w/in", "/w/in"};
const Layout kSourceInTarget{"/w/out/in", "/w/out"};

// A random tree whose names collide often: several files map to one name,
// some only by case, some onto files already in the target.
class RandomTree {
 public:
  RandomTree(std::uint32_t seed, std::string root)
      : random_(seed), root_(std::move(root)) {}

  void Build(const std::string& source, const std::string& target) {
    fs::create_directories(ToNativePath(root_ + source));
    Fill(source, 0);
    if (target != source) Spoil(source, target);
    Links(source, target);
  }

 private:
  std::uint32_t Next(std::uint32_t n) { return random_() % n; }

  std::string Base() {
    static const char* const kBases[] = {
        "a", "A",  "b",     "a.b", "a.txt",     "x y",         "照片",
        "ß", "SS", "\xff.", "é",   "e\xcc\x81", "longer name", "c"};
    return kBases[Next(std::size(kBases))];
  }

  std::string Name() {
    static const char* const kExtensions[] = {".doc", ".txt", ".TXT",
                                              ".Doc", "",     ".doc.doc"};
    const std::string base = Base();
    return base + kExtensions[Next(std::size(kExtensions))];
  }

  void WriteFile(const std::string& relative) {
    const std::string path = root_ + relative;
    if (fs::exists(fs::symlink_status(ToNativePath(path)))) return;
    // Mostly small; now and then one that takes several chunks.
    const std::size_t size =
        Next(40) == 0 ? (9u << 20) + Next(4096) : Next(5000);
    // Random letters, repeated at a length prime to the chunks: a chunk
    // written at the wrong place still shows.
    std::string content;
    while (content.size() < std::min<std::size_t>(size, 4093)) {
      content += static_cast<char>('a' + random_() % 26);
    }
    while (content.size() < size) {
      content.append(content, 0,
                     std::min(content.size(), size - content.size()));
    }
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

  // Files, folders, read-only files and links already at names the copies
  // want.
  void Spoil(const std::string& source, const std::string& target) {
    fs::create_directories(ToNativePath(root_ + target));
    for (std::uint32_t i = Next(8); i > 0; --i) {
      const std::string name = target + "/" + Name();
      switch (Next(4)) {
        case 0: {
          // A file may hold the name already.
          std::error_code error;
          fs::create_directories(ToNativePath(root_ + name), error);
          break;
        }
        case 1:
          PlantLink(source, target);
          break;
        default:
          WriteFile(name);
      }
    }
  }

  // A link where a copy lands, to another copy of the run, to that copy's
  // own source, to nothing or to itself.
  void PlantLink(const std::string& source, const std::string& target) {
    const std::string base = Base();
    const std::string path = root_ + target + "/" + base + ".txt";
    if (fs::exists(fs::symlink_status(ToNativePath(path)))) return;
    const std::string other = Base() + ".txt";
    const std::string leads_to[] = {other, root_ + source + "/" + base + ".doc",
                                    "nowhere", base + ".txt"};
    fs::create_symlink(leads_to[Next(4)], ToNativePath(path));
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

// Everything below `root` that a run could have touched, path by path.
std::map<std::string, std::string> Entries(const std::string& root) {
  std::map<std::string, std::string> entries;
  std::error_code missing;
  for (const auto& entry :
       fs::recursive_directory_iterator(ToNativePath(root), missing)) {
    const std::string path = entry.path().string();
    struct stat info {};
    ::lstat(path.c_str(), &info);
    std::string text =
        std::to_string(info.st_mode) + " " + std::to_string(info.st_nlink);
    if (S_ISREG(info.st_mode)) {
      // Read in one go: the large files cost the most here.
      std::string content(static_cast<std::size_t>(info.st_size), '\0');
      std::ifstream(path, std::ios::binary).read(content.data(), info.st_size);
      text += " " + std::to_string(info.st_mtim.tv_sec) + " " +
              std::to_string(info.st_size) + " " +
              std::to_string(std::hash<std::string>{}(content));
    } else if (S_ISLNK(info.st_mode)) {
      text += " -> " + fs::read_symlink(entry.path()).string();
    }
    entries[path.substr(root.size())] = text;
  }
  return entries;
}

// A tree to run on, made afresh below the root's "w" before every run.
using Build = std::function<void()>;

// Runs the program in `mode` ("-n", "-j1", ...) on the folders of `layout`
// below `root`; with `open_files` set, the child may open only so many.
ChildResult RunFresh(const std::string& root, const Build& build,
                     const Layout& layout, Strings arguments,
                     const std::string& mode, int open_files = 0) {
  fs::remove_all(ToNativePath(root + "/w"));
  build();
  // The trash and the journals go with the tree, not into a shared home.
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  arguments.insert(arguments.end(),
                   {"-vq", mode, root + layout.source, root + layout.target});
  if (open_files == 0) return testing::RunChild(BATCHEXT_CLI_PATH, arguments);
  // The shell lowers the hard limit too, which the program cannot raise.
  arguments.insert(
      arguments.begin(),
      {"-c",
       "ulimit -n " + std::to_string(open_files) + " && exec \"$0\" \"$@\"",
       BATCHEXT_CLI_PATH});
  return testing::RunChild("/bin/sh", arguments);
}

// The run's exit code, its output and the tree it left, in one text.
std::string Ended(const ChildResult& result,
                  const std::map<std::string, std::string>& tree) {
  std::string text = std::to_string(result.exit_code) + "\n" + result.out +
                     "\n" + result.err + "\n";
  for (const auto& [path, entry] : tree) text += path + " " + entry + "\n";
  return text;
}

// What a run of -v told, or what a preview foretells it would tell: the
// copies and the summary, the failed files, the other errors, each in order.
std::string Told(const ChildResult& result) {
  constexpr std::string_view kColon = "：", kFailed = "失败：",
                             kMark = "（预览，未写入任何文件）";
  std::string copies, failures, errors;
  std::istringstream out(result.out), err(result.err);
  for (std::string line; std::getline(out, line);) {
    const auto arrow = line.find(" -> ");
    const auto colon =
        arrow == std::string::npos ? arrow : line.find(kColon, arrow);
    if (const auto mark = line.find(kMark); mark != std::string::npos) {
      line.erase(mark, kMark.size());
    }
    if (colon != std::string::npos &&
        line.compare(colon + kColon.size(), kFailed.size(), kFailed) == 0) {
      failures += std::string(kFailed) + line.substr(0, colon) +
                  line.substr(colon + kFailed.size()) + "\n";
    } else {
      copies += line.substr(0, colon) + "\n";
    }
  }
  for (std::string line; std::getline(err, line);) {
    (line.starts_with(kFailed) ? failures : errors) += line + "\n";
  }
  return std::to_string(result.exit_code) + "\n" + copies + "--\n" + failures +
         "--\n" + errors;
}

struct Agreed {
  // The preview's line for each file, paths cut to below the root's "w".
  Strings preview;
  int exit_code = -1;
  // The tree as made, and as the last run left it.
  std::map<std::string, std::string> before, after;
};

// Runs a preview, one job and four jobs, each on the tree `build` makes
// afresh, and expects the preview to foretell the run of one job, outcome
// by outcome, and that run to end as the one of four jobs, tree included.
Agreed ExpectAgreement(const std::string& root, const Build& build,
                       const Layout& layout, const Strings& arguments,
                       int open_files = 0) {
  const std::string w = root + "/w";
  Agreed agreed;
  const ChildResult preview = RunFresh(
      root,
      [&] {
        build();
        agreed.before = Entries(w);
      },
      layout, arguments, "-n", open_files);
  EXPECT_EQ(Entries(w), agreed.before) << "a preview writes nothing";
  agreed.exit_code = preview.exit_code;
  std::istringstream lines(preview.out);
  for (std::string line; std::getline(lines, line);) {
    const auto arrow = line.find(" -> ");
    const auto colon = line.find("：", arrow);
    if (arrow == std::string::npos || colon == std::string::npos) continue;
    // A copy foretold as new finds its name free, any other success not.
    const std::string destination =
        line.substr(arrow + 4 + w.size(), colon - arrow - 4 - w.size());
    const std::string outcome = line.substr(colon + std::strlen("："));
    if (!outcome.starts_with("失败")) {
      EXPECT_EQ(agreed.before.contains(destination), outcome != "新建") << line;
    }
    for (auto at = line.find(w + "/"); at != std::string::npos;
         at = line.find(w + "/", at)) {
      line.erase(at, w.size() + 1);
    }
    agreed.preview.push_back(line);
  }
  const ChildResult one =
      RunFresh(root, build, layout, arguments, "-j1", open_files);
  EXPECT_EQ(Told(preview), Told(one)) << "the preview foretold another run";
  const std::string one_ended = Ended(one, Entries(w));
  const ChildResult four =
      RunFresh(root, build, layout, arguments, "-j4", open_files);
  agreed.after = Entries(w);
  EXPECT_EQ(Ended(four, agreed.after), one_ended);
  return agreed;
}

// Now and then with only the files of one extension, or with stripping.
Strings RandomOptions(std::uint32_t seed) {
  std::mt19937 options(seed);
  Strings arguments = {"-r", "-t", "txt"};
  if (options() % 2) arguments.insert(arguments.end(), {"-f", "doc"});
  if (options() % 2) arguments.push_back("-s");
  return arguments;
}

TEST(ParallelRunTest, EveryLayoutOfRandomTreesEndsAsForetoldAndWithOneJob) {
  TempTree tree;
  // Beside, in place, target inside the source, source inside the target.
  const Layout layouts[] = {
      kBeside, kInPlace, {"/w/in", "/w/in/out"}, kSourceInTarget};
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Layout& layout = layouts[seed % 4];
    ExpectAgreement(
        tree.Path(),
        [&] {
          RandomTree(seed, tree.Path()).Build(layout.source, layout.target);
        },
        layout, RandomOptions(seed));
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
  for (std::uint32_t seed = 100; folds && seed < 108; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Build build = [&] {
      RandomTree(seed, mount_point).Build(kBeside.source, kBeside.target);
    };
    const Strings arguments = RandomOptions(seed);
    const ChildResult one =
        RunFresh(mount_point, build, kBeside, arguments, "-j1");
    const std::string one_ended = Ended(one, Entries(mount_point + "/w"));
    const ChildResult four =
        RunFresh(mount_point, build, kBeside, arguments, "-j4");
    EXPECT_EQ(Ended(four, Entries(mount_point + "/w")), one_ended);
  }
  ::umount(mount_point.c_str());
  if (!folds) GTEST_SKIP() << "the mount does not fold case";
}

// A file whose time is the same in every run, which compares them.
void Put(const TempTree& tree, const std::string& relative,
         const std::string& content) {
  tree.Write(relative, content);
  const timespec times[2] = {{1'500'000'000, 0}, {1'500'000'000, 0}};
  ::utimensat(AT_FDCWD, tree.Path(relative).c_str(), times, 0);
}

void Link(const TempTree& tree, const std::string& to, const std::string& at) {
  fs::create_symlink(to, ToNativePath(tree.Path(at)));
}

struct AgreementCase {
  const char* name;
  Layout layout;
  Strings arguments;
  std::function<void(const TempTree&)> build;
  // What the preview, and with it every run, tells of each file.
  Strings preview;
  int exit_code;
  std::function<void(const TempTree&, const Agreed&)> check;
};

void PrintTo(const AgreementCase& c, std::ostream* out) { *out << c.name; }

class AgreementTest : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(AgreementTest, PreviewOneJobAndFourJobsEndAlike) {
  const AgreementCase& c = GetParam();
  TempTree tree;
  const Agreed agreed = ExpectAgreement(
      tree.Path(), [&] { c.build(tree); }, c.layout, c.arguments);
  EXPECT_EQ(agreed.preview, c.preview);
  EXPECT_EQ(agreed.exit_code, c.exit_code);
  if (c.check) c.check(tree, agreed);
}

const std::string kProtected = "失败：目标文件是来源文件夹中的文件，没有覆盖";
const std::string kItself = "不变（就是来源文件本身）";

// A name and its hard or symbolic twin in one folder.
void HardTwins(const TempTree& tree) {
  Put(tree, "w/in/a.doc", "A");
  ::link(tree.Path("w/in/a.doc").c_str(), tree.Path("w/in/a.txt").c_str());
}
void SoftTwins(const TempTree& tree) {
  Put(tree, "w/in/a.doc", "A");
  Link(tree, "a.doc", "w/in/a.txt");
}
void NothingChanged(const TempTree&, const Agreed& agreed) {
  EXPECT_EQ(agreed.after, agreed.before);
}

const std::string kLong(250, 'n');
// Too long a name once added: 250 + 1 + 20 bytes.
const std::string kLongTo = "abcdefghijklmnopqrst";
// The new name and how its copy fails.
const std::string kTooLong =
    kLong + "." + kLongTo + "：失败：系统提示：" + ErrorText(ENAMETOOLONG);

// clang-format off
const AgreementCase kAgreementCases[] = {
    {"LinksAtDestinationsAreReplacedNeverFollowed", kBeside, {"-f", "doc"},
     [](const TempTree& tree) {
       for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
         Put(tree, "w/in/" + std::string(name) + ".doc", name);
       }
       Put(tree, "w/victim", "victim");
       // To an earlier copy, its own source, nothing, itself, a file the
       // run has nothing to do with, a later copy.
       const std::pair<const char*, const char*> links[] = {
           {"b", "a.txt"}, {"c", "../in/c.doc"}, {"d", "nowhere.txt"},
           {"e", "e.txt"}, {"f", "../victim"}, {"g", "h.txt"}};
       tree.MakeFolder("w/out");
       for (const auto& [at, to] : links) {
         Link(tree, to, "w/out/" + std::string(at) + ".txt");
       }
     },
     {"in/a.doc -> out/a.txt：新建", "in/b.doc -> out/b.txt：替换",
      "in/c.doc -> out/c.txt：替换", "in/d.doc -> out/d.txt：替换",
      "in/e.doc -> out/e.txt：替换", "in/f.doc -> out/f.txt：替换",
      "in/g.doc -> out/g.txt：替换", "in/h.doc -> out/h.txt：新建"}, 0,
     [](const TempTree& tree, const Agreed&) {
       for (const std::string name : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
         const std::string at = "w/out/" + name + ".txt";
         const auto status = fs::symlink_status(ToNativePath(tree.Path(at)));
         EXPECT_EQ(fs::is_symlink(status) ? "a link" : tree.Read(at), name);
       }
       EXPECT_EQ(tree.Read("w/in/c.doc"), "c");
       EXPECT_EQ(tree.Read("w/victim"), "victim");
     }},
    {"InPlaceHardTwinsEveryFile", kInPlace, {"-f", "*"}, HardTwins,
     {"in/a.doc -> in/a.txt：" + kProtected,
      "in/a.txt -> in/a.txt：" + kItself}, 1, NothingChanged},
    {"InPlaceHardTwinsDocOnly", kInPlace, {"-f", "doc"}, HardTwins,
     {"in/a.doc -> in/a.txt：" + kProtected}, 1, NothingChanged},
    {"InPlaceSoftTwinsEveryFile", kInPlace, {"-f", "*"}, SoftTwins,
     {"in/a.doc -> in/a.txt：" + kProtected,
      "in/a.txt -> in/a.txt：" + kItself}, 1, NothingChanged},
    {"InPlaceSoftTwinsDocOnly", kInPlace, {"-f", "doc"}, SoftTwins,
     {"in/a.doc -> in/a.txt：" + kProtected}, 1, NothingChanged},
    // In folders the run has still to make.
    {"NamesTooLongFailAsForetold", kBeside, {"-r", "-f", "doc", "-t", kLongTo},
     [](const TempTree& tree) {
       Put(tree, "w/in/" + kLong + ".doc", "1");
       Put(tree, "w/in/sub/" + kLong + ".doc", "2");
       Put(tree, "w/in/sub/ok.doc", "3");
     },
     {"in/" + kLong + ".doc -> out/" + kTooLong,
      "in/sub/" + kLong + ".doc -> out/sub/" + kTooLong,
      "in/sub/ok.doc -> out/sub/ok." + kLongTo + "：新建"}, 1, {}},
    // The run's own copy then stands where a folder belongs.
    {"AFileCopiedFirstBlocksTheFolderOfItsName", kBeside, {"-r", "-f", "doc"},
     [](const TempTree& tree) {
       Put(tree, "w/in/a.doc", "a");
       Put(tree, "w/in/a.txt/b.doc", "b");
     },
     {"in/a.doc -> out/a.txt：新建"}, 1, {}},
    // in/in maps to the source folder itself, and in/in/sub to in/sub,
    // which is walked after.
    {"CopiesLandingInSourceFoldersAreNotCopiedAgain", kSourceInTarget,
     {"-r", "-f", "*"},
     [](const TempTree& tree) {
       for (const std::string file :
            {"a.doc", "in/b.doc", "in/sub/c.doc", "sub/d.doc"}) {
         Put(tree, "w/out/in/" + file, file);
       }
     },
     {"out/in/a.doc -> out/a.txt：新建",
      "out/in/in/b.doc -> out/in/b.txt：新建",
      "out/in/in/sub/c.doc -> out/in/sub/c.txt：新建",
      "out/in/sub/d.doc -> out/sub/d.txt：新建"}, 0, {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, AgreementTest,
                         ::testing::ValuesIn(kAgreementCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// The copies under way at once must not leave a disk full that one after
// another would not have.
TEST(ParallelRunTest, AFullDiskFailsTheSameFilesAsOneJob) {
  TempTree tree;
  const std::string disk = tree.Path("disk");
  fs::create_directory(ToNativePath(disk));
  // Room for the five sources and three copies.
  constexpr std::size_t kSize = 2 << 20;
  const std::string size = "size=" + std::to_string(kSize * 17 / 2);
  if (::mount("batchext-test", disk.c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root): "
                 << std::strerror(errno);
  }
  // Before the tree goes, whatever happens.
  const struct Unmount {
    std::string path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{disk};
  const Build build = [&] {
    for (const char i : {'1', '2', '3', '4', '5'}) {
      Put(tree, "disk/w/in/f" + std::string(1, i) + ".doc",
          std::string(kSize, i));
    }
  };
  const ChildResult one = RunFresh(disk, build, kBeside, {}, "-j1");
  EXPECT_EQ(one.exit_code, 1);
  EXPECT_EQ(tree.Entries("disk/w/out"),
            (Strings{"f1.txt", "f2.txt", "f3.txt"}));
  std::string failures;
  for (const char* name : {"f4", "f5"}) {
    failures += "失败：" + disk + "/w/in/" + name + ".doc -> " + disk +
                "/w/out/" + name + ".txt：系统提示：" + ErrorText(ENOSPC) +
                "\n";
  }
  EXPECT_EQ(one.err, failures);
  // Which copies race for the last room varies from run to run.
  const std::string one_ended = Ended(one, Entries(disk + "/w"));
  for (int round = 0; round < 5; ++round) {
    const ChildResult four = RunFresh(disk, build, kBeside, {}, "-j4");
    EXPECT_EQ(Ended(four, Entries(disk + "/w")), one_ended);
  }
}

TEST(ParallelRunTest, FewOpenFilesStillCopyEveryFolderAtAnyDepth) {
  TempTree tree;
  // Made once, beside the tree that each run starts afresh.
  for (int folder = 0; folder < 50; ++folder) {
    for (int file = 0; file < 80; ++file) {
      Put(tree,
          "src/d" + std::to_string(folder) + "/f" + std::to_string(file) +
              ".doc",
          "x");
    }
  }
  // A chain far deeper than the descriptors allow, whose target stands in
  // part, so that a preview plans the rest.
  constexpr int kDepth = 1200;
  std::string chain = "/c";
  for (int level = 0; level < kDepth; ++level, chain += "/c") {
    Put(tree, "src" + chain + "/f.doc", "x");
  }
  const auto build = [&] {
    fs::create_directories(
        ToNativePath(tree.Path("w/out") + chain.substr(0, 300)));
  };
  const Agreed agreed = ExpectAgreement(tree.Path(), build, {"/src", "/w/out"},
                                        {"-r"}, /*open_files=*/32);
  EXPECT_EQ(agreed.exit_code, 0);
  EXPECT_EQ(std::ranges::count_if(agreed.preview,
                                  [](const std::string& line) {
                                    return line.ends_with("：新建");
                                  }),
            4000 + kDepth);
}

#endif

}  // namespace
}  // namespace batchext
