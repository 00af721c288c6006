// Cases that only Windows has: drive letters and shares, both separators,
// names Windows forbids or reads as devices, typed paths, attributes, file
// names that differ in case only, UTF-16 names and paths beyond 260
// characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/conversion_run.h"
#include "fs/file_identity.h"
#include "fs/folder_path.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/win_support.h"
#include "tests/support/temp_tree.h"
#include "ui/form/run_presenter.h"

namespace batchext {
namespace {

using testing::TempTree;
using Entries = std::vector<std::string>;

std::wstring Native(const std::string& path) {
  return ToNativePath(path).native();
}

DWORD AttributesOf(const std::string& path) {
  return ::GetFileAttributesW(Native(path).c_str());
}

ULONGLONG WriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ::GetFileAttributesExW(Native(path).c_str(), GetFileExInfoStandard, &data);
  return (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

Entries Summary(int converted, int failed) {
  return {"成功修改了" + std::to_string(converted) + "个文件的后缀名，失败" +
          std::to_string(failed) + "个文件"};
}

TEST(WindowsPathTest, BothSlashesSeparateABackslashIsAddedRootsAreKnown) {
  // The shared cases cover "/"; a "\\" ends a path just as well.
  EXPECT_EQ(AddTrailingSlash("C:\\"), "C:\\");
  // A share's root is its server and share name together.
  // clang-format off
  const std::pair<std::string, std::size_t> roots[] = {
      {"C:\\a", 3}, {"C:a", 2}, {"//server/share/a", 15}, {"\\\\server", 8},
      {"\\\\?\\C:\\a", 7}, {"\\\\?\\UNC\\server\\share\\a", 21},
      {"\\rooted", 1}, {"relative\\a", 0}};
  // clang-format on
  for (const auto& [path, root] : roots) EXPECT_EQ(RootLength(path), root);
}

TEST(WindowsPathTest, NativeFormIsTheResolvedLongForm) {
  struct Case {
    std::string path;
    std::wstring native;
    // What comes back from the native form.
    std::string back;
  };
  const Case cases[] = {
      {"C:/a//b/./c/../d/", L"\\\\?\\C:\\a\\b\\d", "C:\\a\\b\\d"},
      {"C:\\", L"\\\\?\\C:\\", "C:\\"},
      // Plain names stay plain: no device, no trimmed dot or space.
      {"C:\\d\\con.txt", L"\\\\?\\C:\\d\\con.txt", "C:\\d\\con.txt"},
      {"C:\\d\\a. ", L"\\\\?\\C:\\d\\a. ", "C:\\d\\a. "},
      {"//server/share", L"\\\\?\\UNC\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\?\\C:\\kept\\..\\as\\is", L"\\\\?\\C:\\kept\\..\\as\\is",
       "C:\\kept\\..\\as\\is"},
      // Only "\\?\" written exactly is literal; other device forms resolve.
      {"//?/C:/x/y", L"\\\\?\\C:\\x\\y", "C:\\x\\y"},
      {"\\\\.\\C:\\x\\..\\y", L"\\\\?\\C:\\y", "C:\\y"},
      {"//./UNC/srv/share/../x", L"\\\\?\\UNC\\srv\\share\\x",
       "\\\\srv\\share\\x"},
      // A lone surrogate is a legal name on Windows and survives the trip.
      {"C:\\x\xED\xA0\x80y", L"\\\\?\\C:\\x\xD800y", "C:\\x\xED\xA0\x80y"},
      {"C:\\照片\\𝄞.txt", L"\\\\?\\C:\\照片\\𝄞.txt", "C:\\照片\\𝄞.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Native(c.path), c.native) << c.path;
    EXPECT_EQ(FromNativePath(ToNativePath(c.path)), c.back) << c.path;
  }
  const std::wstring current = std::filesystem::current_path().native();
  ASSERT_EQ(current[1], L':') << "the tests run from a drive";
  EXPECT_EQ(Native("rel/x"), L"\\\\?\\" + current + L"\\rel\\x");
  EXPECT_EQ(Native("\\rooted"),
            L"\\\\?\\" + current.substr(0, 2) + L"\\rooted");
  // Drive-relative: "con" stays a name in that drive's current folder.
  const std::wstring c_folder =
      current[0] == L'C' ? current + L"\\" : std::wstring(L"C:\\");
  EXPECT_EQ(Native("C:con"), L"\\\\?\\" + c_folder + L"con");
}

TEST(WindowsPathTest, TypedFolderIsMadeFullAsWindowsReadsIt) {
  const std::string current = FromNativePath(std::filesystem::current_path());
  const std::pair<std::string, std::string> cases[] = {
      {"  C:\\x\\outdot.  ", "C:\\x\\outdot"},
      {"C:\\x\\s2. ", "C:\\x\\s2"},
      {"C:/a/./b/../c/", "C:\\a\\c\\"},
      {"rel/.", current + "\\rel"},
      // Older Windows, and Wine, read a device name anywhere in a path.
      {"C:\\x\\con", "\\\\.\\con"},
      {"\\\\?\\C:\\x\\a.", "\\\\?\\C:\\x\\a."},
      {"   ", ""},
  };
  for (const auto& [typed, full] : cases) {
    EXPECT_EQ(TypedFolderPath(typed), full) << typed;
  }
}

TEST(WindowsPathTest, NamesThatWindowsReadsAsSomethingElseAreRefused) {
  // The superscript digits one to three count as port numbers too.
  for (const wchar_t* name :
       {L"aux.txt", L"COM1.txt", L"nul.tar.txt", L"CONIN$.txt", L"conout$",
        L"COM\u00B9", L"com\u00B2.txt", L"Com\u00B3 .txt", L"LPT\u00B9",
        L"lpt\u00B2.txt", L"lPt\u00B3.doc.txt", L"Com0", L"prn .txt",
        L"a.txt:s.txt", L"a?.txt", L"a\x1f.txt", L"a.txt.", L"a.txt "}) {
    EXPECT_FALSE(IsAllowedFileName(name)) << WideToUtf8(name);
  }
  // Other superscripts, or a port digit followed by more, are plain names.
  for (const wchar_t* name :
       {L"x.con", L"com10.txt", L"comA.txt", L"COM\u2074.txt", L"LPT\u2070",
        L"lpt\u00B9\u00B9.txt", L"COM\u00B91.txt", L"auxiliary.txt",
        L" con.txt", L"\u7167.txt"}) {
    EXPECT_TRUE(IsAllowedFileName(name)) << WideToUtf8(name);
  }
  // Nor can a typed ToExt carry them; "txt:evil" would be a data stream.
  for (const char* part : {"txt:evil", "t*", "t?", "t\"x", "t<", "t>", "t|x",
                           "t\x01", "t\x1f", "txt."}) {
    EXPECT_FALSE(IsValidFileNamePart(part)) << part;
  }
  // Only the data streams beside the main one are copied on their own.
  EXPECT_TRUE(IsNamedDataStream(L":Zone.Identifier:$DATA"));
  EXPECT_FALSE(IsNamedDataStream(L"::$DATA"));
  // A question that failed leaves a zero identity, which names nothing.
  EXPECT_NE(FileIdentity{}, FileIdentity{});
  EXPECT_TRUE(IdentityOfHandle(INVALID_HANDLE_VALUE).IsZero());
}

class WindowsTreeTest : public ::testing::Test {
 protected:
  void Run(const std::string& source, const std::string& target,
           const std::string& from, const std::string& to,
           bool subfolders = false, const ConversionObserver& observer = {},
           const RunOptions& options = {}) {
    ConversionSettings settings;
    settings.FromFolder = FolderPath::Typed(tree_.Path(source));
    settings.TargetFolder = FolderPath::Typed(tree_.Path(target));
    settings.IncludeSubfolders = subfolders;
    messages_.clear();
    StartConversion(
        settings, from, to,
        {.show = [this](const std::string& text, const std::string&,
                        MessageStyle) { messages_.push_back(text); }},
        observer, options);
  }

  TempTree tree_;
  std::vector<std::string> messages_;
};

TEST_F(WindowsTreeTest, CreateFolderPathMakesNoDriveOrShare) {
  const DWORD drives = ::GetLogicalDrives();
  char letter = 'Y';
  while (letter > 'C' && (drives & (1u << (letter - 'A'))) != 0) --letter;
  ASSERT_GT(letter, 'C') << "every drive letter is taken";
  const std::string drive = std::string(1, letter) + ":\\";
  EXPECT_FALSE(CreateFolderPath(drive + "a\\b\\c"));
  EXPECT_FALSE(FolderExists(drive + "a"));

  const std::string pid = std::to_string(::GetCurrentProcessId());
  EXPECT_FALSE(CreateFolderPath("\\\\batchext-no-host-" + pid + "\\share\\x"));
  // Wine serves a host's shares from a folder of its prefix; real Windows
  // would need a share of its own.
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || prefix[0] != '/') {
    GTEST_SKIP() << "needs a share; Wine with WINEPREFIX set provides one";
  }
  const std::string host = "batchext-host-" + pid;
  // Drive Z: is the Unix root under Wine.
  const std::string unc_folder =
      "Z:" + std::string(prefix) + "\\dosdevices\\unc\\" + host;
  ASSERT_TRUE(CreateFolderPath(unc_folder + "\\share"));
  const std::string share = "\\\\" + host + "\\share";
  EXPECT_TRUE(CreateFolderPath(share + "\\a\\b"));
  EXPECT_TRUE(FolderExists(unc_folder + "\\share\\a\\b"));
  EXPECT_FALSE(CreateFolderPath("\\\\" + host + "\\missing-share\\a"));
  EXPECT_FALSE(FolderExists(unc_folder + "\\missing-share"));
  std::error_code error;
  std::filesystem::remove_all(ToNativePath(unc_folder), error);
}

TEST_F(WindowsTreeTest, DeviceAndStreamNamesAreNeitherWrittenNorMade) {
  // Wine, like some file systems, lets such sources exist.
  for (const char* source :
       {"COM1", "CONIN$", "a.txt:s", "aux", "com10", "nul.tar"}) {
    tree_.Write("in/" + std::string(source) + ".doc", source);
  }
  // A legal ToExt can still compose such a name, file by file.
  Run("in", "out", "doc", "txt");
  EXPECT_EQ(messages_, Summary(1, 5));
  EXPECT_EQ(tree_.Entries("out"), Entries{"com10.txt"});

  // Nor is a listed folder of such a name made in the target tree.
  tree_.Write("deep/aux/x.doc", "x");
  Run("deep", "deep2", "doc", "txt", true);
  EXPECT_EQ(messages_, (Entries{"无法向目标文件夹中写入修改后的文件夹",
                                "成功修改了0个文件的后缀名，失败0个文件"}));
  EXPECT_FALSE(tree_.Exists("deep2/aux"));
}

TEST_F(WindowsTreeTest, CopiesKeepTimeAndAttributesFailuresKeepTheOldFile) {
  // 2001-02-03, with a fraction of a second that coarse clocks would lose.
  constexpr ULONGLONG kTime = 0x01C08D8001234567u;
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  const FILETIME time{static_cast<DWORD>(kTime), kTime >> 32};
  for (const std::string name : {"a", "b", "d"}) {
    tree_.Write("in/" + name + ".doc", name);
    if (name != "a") tree_.Write("out/" + name + ".txt", "old " + name);
    const std::wstring source = Native(tree_.Path("in/" + name + ".doc"));
    HANDLE file = ::CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
    ::CloseHandle(file);
    ASSERT_TRUE(::SetFileAttributesW(source.c_str(), kKept));
  }
  // Held open without leave to delete it, d.txt cannot be renamed over.
  HANDLE held =
      ::CreateFileW(Native(tree_.Path("out/d.txt")).c_str(), GENERIC_READ,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Run("in", "out", "doc", "txt");
  ::CloseHandle(held);

  EXPECT_EQ(messages_, Summary(2, 1));
  // A replaced file takes the source's time and attributes.
  for (const std::string name : {"a", "b"}) {
    const std::string copy = tree_.Path("out/" + name + ".txt");
    EXPECT_EQ(tree_.Read("out/" + name + ".txt"), name);
    EXPECT_EQ(WriteTimeOf(copy), kTime) << name;
    EXPECT_EQ(AttributesOf(copy), kKept) << name;
  }
  EXPECT_EQ(tree_.Read("out/d.txt"), "old d");
  // No temporary file is left beside them.
  EXPECT_EQ(tree_.Entries(),
            (Entries{"in/", "in/a.doc", "in/b.doc", "in/d.doc", "out/",
                     "out/a.txt", "out/b.txt", "out/d.txt"}));
}

// A new copy stopped midway is covered by the run's own tests; here the file
// it would have replaced must survive.
TEST_F(WindowsTreeTest, StopDuringALargeCopyKeepsTheOldFileAndCountsNothing) {
  tree_.Write("in/big.doc", std::string(3 << 20, 'b'));
  tree_.Write("out/big.txt", "old");
  int asked = 0;
  ConversionObserver observer;
  // The run asks once before the file, then the copy between chunks.
  observer.stop_requested = [&] { return ++asked >= 3; };
  // Asked between chunks only on the one job's walk.
  Run("in", "out", "doc", "txt", false, observer, RunOptions{.jobs = 1});
  EXPECT_GE(asked, 3);
  EXPECT_EQ(messages_, Entries{"操作已取消，没有处理完全部文件。\n" +
                               Summary(0, 0).front()});
  EXPECT_EQ(tree_.Entries(),
            (Entries{"in/", "in/big.doc", "out/", "out/big.txt"}));
  // A prefix: a failure should not print megabytes.
  EXPECT_EQ(tree_.Read("out/big.txt").substr(0, 8), "old");
}

TEST_F(WindowsTreeTest, NamesDifferingOnlyInCaseAreOneFile) {
  tree_.Write("Notes.TXT", "keep");
  Run("", "", "TXT", "txt");
  EXPECT_EQ(messages_, Summary(1, 0));
  EXPECT_EQ(tree_.Entries(), Entries{"Notes.TXT"});
  EXPECT_EQ(tree_.Read("Notes.TXT"), "keep");
}

TEST_F(WindowsTreeTest, NamesOutsideTheCodePageRoundTripExactly) {
  // Made and checked through wide calls, so that a conversion that is wrong
  // both ways cannot pass.
  const std::wstring names[] = {L"naïve ☃", L"Ελληνικά", L"照片 一",
                                L"𝄞 music"};
  tree_.MakeFolder("数据 文件夹");
  for (const std::wstring& name : names) {
    const std::wstring source =
        Native(tree_.Path("数据 文件夹")) + L"\\" + name;
    ::CloseHandle(::CreateFileW((source + L".JPG").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_NEW, 0, nullptr));
  }
  EXPECT_EQ(
      tree_.Entries("数据 文件夹"),
      (Entries{"naïve ☃.JPG", "Ελληνικά.JPG", "照片 一.JPG", "𝄞 music.JPG"}));
  Run("数据 文件夹", "目标 目录", "jpg", "文本");
  EXPECT_EQ(messages_, Summary(4, 0));
  for (const std::wstring& name : names) {
    const std::wstring copy = Native(tree_.Path("目标 目录")) + L"\\" + name;
    EXPECT_NE(::GetFileAttributesW((copy + L".文本").c_str()),
              INVALID_FILE_ATTRIBUTES);
  }
}

TEST_F(WindowsTreeTest, DeepMirroredTreePassesTheOld260CharacterLimit) {
  std::string deep;
  for (int level = 0; level < 16; ++level) {
    deep += "/level-" + std::to_string(level) + "-abcdefghijklmn";
  }
  tree_.Write("in" + deep + "/deep.doc", "deep content");
  ASSERT_GT(tree_.Path("in" + deep).size(), 300u);
  Run("in", "out", "doc", "txt", true);
  EXPECT_EQ(messages_, Summary(1, 0));
  EXPECT_EQ(tree_.Read("out" + deep + "/deep.txt"), "deep content");
}

TEST_F(WindowsTreeTest, EnclosingFolderIsFoundThroughEitherSlashDotsAndCase) {
  tree_.MakeFolder("a/b/c");
  tree_.MakeFolder("other");
  const auto a = GetFileIdentity(tree_.Path("a"));
  const auto other = GetFileIdentity(tree_.Path("other"));
  ASSERT_TRUE(a && other);
  const std::vector<FileIdentity> candidates{*other, *a};
  EXPECT_EQ(FindEnclosingFolder(tree_.Path() + "/a/b/../b/c/", candidates), 1);
  EXPECT_EQ(FindEnclosingFolder(tree_.Path("A\\B"), candidates), 1);
  EXPECT_EQ(FindEnclosingFolder(tree_.Path(), candidates), -1);
  EXPECT_EQ(FindEnclosingFolder(tree_.Path("missing"), candidates), -1);
}

}  // namespace
}  // namespace batchext
