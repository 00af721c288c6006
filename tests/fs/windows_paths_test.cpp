// Cases that only Windows has: drive letters and shares, both separators,
// names Windows forbids, the read-only attribute, file names that differ in
// case only, UTF-16 names and paths beyond 260 characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/conversion_run.h"
#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_listing.h"
#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::TempTree;
using Entries = std::vector<std::string>;

std::wstring Native(const std::string& path) {
  return ToNativePath(path).native();
}

std::wstring CurrentFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::wstring(buffer, length);
}

DWORD AttributesOf(const std::string& path) {
  return ::GetFileAttributesW(Native(path).c_str());
}

FILETIME WriteTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ::GetFileAttributesExW(Native(path).c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

bool operator==(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime &&
         a.dwHighDateTime == b.dwHighDateTime;
}

void SetWriteTime(const std::string& path, const FILETIME& time) {
  HANDLE file = ::CreateFileW(Native(path).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
  ::CloseHandle(file);
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                          "wine_get_version") != nullptr;
}

TEST(WindowsPathTest, BothSlashesSeparateAndABackslashIsAdded) {
  EXPECT_TRUE(IsSeparator('\\'));
  EXPECT_TRUE(IsSeparator('/'));
  EXPECT_EQ(PreferredSeparator(), '\\');
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {{"  C:\\data  ", "C:\\data\\"},
                        {"C:/data/", "C:/data/"},
                        {"C:\\", "C:\\"},
                        {"C:\\data/", "C:\\data/"},
                        {"C:/data", "C:/data\\"},
                        {"", "\\"}};
  for (const Case& c : cases) EXPECT_EQ(AddTrailingSlash(c.in), c.out) << c.in;
}

TEST(WindowsPathTest, RootIsADriveAShareOrALongForm) {
  struct Case {
    std::string path;
    std::size_t root;
  };
  const Case cases[] = {
      {"C:\\a\\b", 3},
      {"c:/a", 3},
      {"C:", 2},
      {"C:a", 2},
      {"\\\\server\\share\\a\\b", 15},
      {"//server/share", 14},
      {"\\\\server", 8},
      {"\\\\?\\C:\\a", 7},
      {"\\\\?\\UNC\\server\\share\\a", 21},
      {"\\rooted", 1},
      {"relative\\a", 0},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RootLength(c.path), c.root) << c.path;
}

TEST(WindowsPathTest, NativeFormIsTheResolvedLongForm) {
  struct Case {
    std::string path;
    std::wstring native;
    // What comes back from the native form.
    std::string back;
  };
  const Case cases[] = {
      {"C:\\a\\b", L"\\\\?\\C:\\a\\b", "C:\\a\\b"},
      {"C:/a//b/./c/../d/", L"\\\\?\\C:\\a\\b\\d", "C:\\a\\b\\d"},
      {"C:\\", L"\\\\?\\C:\\", "C:\\"},
      {"C:\\..\\x", L"\\\\?\\C:\\x", "C:\\x"},
      // Plain names stay plain: no device, no trimmed dot or space.
      {"C:\\d\\con.txt", L"\\\\?\\C:\\d\\con.txt", "C:\\d\\con.txt"},
      {"C:\\d\\a. ", L"\\\\?\\C:\\d\\a. ", "C:\\d\\a. "},
      {"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x",
       "\\\\server\\share\\x"},
      {"//server/share", L"\\\\?\\UNC\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\?\\C:\\kept\\..\\as\\is", L"\\\\?\\C:\\kept\\..\\as\\is",
       "C:\\kept\\..\\as\\is"},
      // A lone surrogate is a legal name on Windows and survives the trip.
      {"C:\\x\xED\xA0\x80y", L"\\\\?\\C:\\x\xD800y", "C:\\x\xED\xA0\x80y"},
      {"C:\\照片\\𝄞.txt", L"\\\\?\\C:\\照片\\𝄞.txt", "C:\\照片\\𝄞.txt"},
  };
  for (const Case& c : cases) {
    const auto native = ToNativePath(c.path);
    EXPECT_EQ(native.native(), c.native) << c.path;
    EXPECT_EQ(FromNativePath(native), c.back) << c.path;
  }
}

TEST(WindowsPathTest, RelativePathsBecomeAbsoluteInTheCurrentFolder) {
  const std::wstring current = CurrentFolder();
  ASSERT_GE(current.size(), 3u);
  ASSERT_EQ(current[1], L':') << "the tests run from a drive";
  EXPECT_EQ(
      Native("rel/x"),
      Native(FromNativePath(std::filesystem::path(current))) + L"\\rel\\x");
  EXPECT_EQ(Native("\\rooted"),
            L"\\\\?\\" + current.substr(0, 2) + L"\\rooted");
}

class WindowsTreeTest : public ::testing::Test {
 protected:
  void Run(const std::string& source, const std::string& target,
           const std::string& from, const std::string& to,
           bool subfolders = false) {
    settings_.FromFolder = source;
    settings_.TargetFolder = target;
    settings_.IncludeSubfolders = subfolders;
    messages_.clear();
    StartConversion(settings_, from, to,
                    [this](const std::string& text, const std::string&,
                           MessageStyle) { messages_.push_back(text); });
  }

  TempTree tree_;
  ConversionSettings settings_;
  std::vector<std::string> messages_;
};

TEST_F(WindowsTreeTest, CreateFolderPathMakesEachLevelOfADrivePath) {
  const std::string path = tree_.Path() + "\\a\\b\\c";
  ASSERT_EQ(path[1], ':');
  EXPECT_TRUE(CreateFolderPath(path));
  EXPECT_EQ(tree_.Entries(), (Entries{"a/", "a/b/", "a/b/c/"}));
  EXPECT_TRUE(CreateFolderPath(path + "\\"));
  EXPECT_EQ(tree_.Entries(), (Entries{"a/", "a/b/", "a/b/c/"}));
}

TEST(WindowsCreateFolderPathTest, DriveThatDoesNotExistMakesNothing) {
  const DWORD drives = ::GetLogicalDrives();
  char letter = 'Y';
  while (letter > 'C' && (drives & (1u << (letter - 'A'))) != 0) --letter;
  ASSERT_GT(letter, 'C') << "every drive letter is taken";
  const std::string drive = std::string(1, letter) + ":\\";
  EXPECT_FALSE(CreateFolderPath(drive + "a\\b\\c"));
  EXPECT_FALSE(FolderExists(drive + "a"));
  EXPECT_FALSE(FolderExists(drive));
}

TEST(WindowsCreateFolderPathTest, ShareIsARootNotALevelToMake) {
  const std::string pid = std::to_string(::GetCurrentProcessId());
  EXPECT_FALSE(CreateFolderPath("\\\\batchext-no-host-" + pid + "\\share\\x"));
  // Wine serves a share from a folder of its prefix; real Windows would
  // need a share of its own.
  wchar_t prefix[MAX_PATH];
  const DWORD length =
      ::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
  if (!UnderWine() || length == 0 || length >= MAX_PATH || prefix[0] != L'/') {
    GTEST_SKIP() << "needs a share; Wine with WINEPREFIX set provides one";
  }
  const std::string host = "batchext-host-" + pid;
  // Drive Z: is the Unix root under Wine.
  const std::string unc_folder = "Z:" + FromNativePath(std::wstring(prefix)) +
                                 "\\dosdevices\\unc\\" + host;
  ASSERT_TRUE(CreateFolderPath(unc_folder + "\\share"));
  const std::string share = "\\\\" + host + "\\share";
  EXPECT_TRUE(CreateFolderPath(share + "\\a\\b"));
  EXPECT_TRUE(FolderExists(unc_folder + "\\share\\a\\b"));
  EXPECT_TRUE(CreateFolderPath(share + "/a/b/"));
  EXPECT_FALSE(CreateFolderPath("\\\\" + host + "\\missing-share\\a"));
  EXPECT_FALSE(FolderExists(unc_folder + "\\missing-share"));
  std::error_code error;
  std::filesystem::remove_all(ToNativePath(unc_folder), error);
}

TEST_F(WindowsTreeTest, ForbiddenToExtIsRefusedBeforeAnythingIsWritten) {
  tree_.Write("in/a.doc", "x");
  const std::string forbidden[] = {"t\\x", "t/x",   "txt:evil", "t*",
                                   "t?",   "t\"x",  "t<",       "t>",
                                   "t|x",  "t\x01", "t\x1f",    "txt."};
  for (const std::string& to : forbidden) {
    settings_.SuccessCount = 7;
    Run(tree_.Path("in"), tree_.Path("out"), "doc", to);
    EXPECT_EQ(messages_,
              Entries{"转换后的后缀名中含有文件名中不能使用的字符。"})
        << to;
    EXPECT_EQ(settings_.SuccessCount, 7) << to;
  }
  EXPECT_EQ(tree_.Entries(), (Entries{"in/", "in/a.doc"}));
}

TEST_F(WindowsTreeTest, ReadOnlyAttributeKeepsTheDestinationAndFails) {
  tree_.Write("in/a.doc", "new");
  tree_.Write("in/b.doc", "new b");
  tree_.Write("out/a.txt", "old");
  const std::string locked = tree_.Path("out/a.txt");
  ASSERT_TRUE(
      ::SetFileAttributesW(Native(locked).c_str(), FILE_ATTRIBUTE_READONLY));
  Run(tree_.Path("in"), tree_.Path("out"), "doc", "txt");
  EXPECT_EQ(settings_.SuccessCount, 1);
  EXPECT_EQ(settings_.FailCount, 1);
  EXPECT_EQ(tree_.Read("out/a.txt"), "old");
  EXPECT_EQ(tree_.Read("out/b.txt"), "new b");
  EXPECT_NE(AttributesOf(locked) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(CopyFileTo(tree_.Path("in/a.doc"), locked).status,
            CopyStatus::kDestinationReadOnly);
}

TEST_F(WindowsTreeTest, CopyKeepsTheExactWriteTimeAndTheReadOnlyAttribute) {
  tree_.Write("a.doc", "content");
  const std::string source = tree_.Path("a.doc");
  // 2001-02-03, with a fraction of a second that coarse clocks would lose.
  const FILETIME time{0x1234567u, 0x01C08D80u};
  SetWriteTime(source, time);
  ASSERT_TRUE(
      ::SetFileAttributesW(Native(source).c_str(), FILE_ATTRIBUTE_READONLY));
  const CopyResult copied = CopyFileTo(source, tree_.Path("a.txt"));
  ASSERT_EQ(copied.status, CopyStatus::kCopied) << copied.system_error;
  EXPECT_EQ(tree_.Read("a.txt"), "content");
  EXPECT_TRUE(WriteTimeOf(tree_.Path("a.txt")) == time);
  EXPECT_NE(AttributesOf(tree_.Path("a.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(GetFileIdentity(tree_.Path("a.txt")), copied.destination);

  tree_.Write("b.txt", "old");
  const CopyResult replaced = CopyFileTo(source, tree_.Path("b.txt"));
  ASSERT_EQ(replaced.status, CopyStatus::kCopied) << replaced.system_error;
  EXPECT_EQ(tree_.Read("b.txt"), "content");
  EXPECT_TRUE(WriteTimeOf(tree_.Path("b.txt")) == time);
  EXPECT_NE(AttributesOf(tree_.Path("b.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(tree_.Entries(), (Entries{"a.doc", "a.txt", "b.txt"}));
}

TEST_F(WindowsTreeTest, FailedReplacementLeavesTheDestinationAndNoTempFile) {
  tree_.Write("a.doc", "new");
  tree_.Write("out/a.txt", "old");
  // Held open without leave to delete it, the destination cannot be
  // renamed over.
  HANDLE held =
      ::CreateFileW(Native(tree_.Path("out/a.txt")).c_str(), GENERIC_READ,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const CopyResult result =
      CopyFileTo(tree_.Path("a.doc"), tree_.Path("out/a.txt"));
  ::CloseHandle(held);
  EXPECT_EQ(result.status, CopyStatus::kSystemError);
  EXPECT_FALSE(result.system_error.empty());
  EXPECT_EQ(tree_.Read("out/a.txt"), "old");
  EXPECT_EQ(tree_.Entries(), (Entries{"a.doc", "out/", "out/a.txt"}));
}

TEST_F(WindowsTreeTest, NamesDifferingOnlyInCaseAreOneFile) {
  tree_.Write("Notes.TXT", "keep");
  const std::string notes = tree_.Path("Notes.TXT");
  const FILETIME before = WriteTimeOf(notes);
  EXPECT_EQ(GetFileIdentity(tree_.Path("NOTES.txt")), GetFileIdentity(notes));
  EXPECT_EQ(CopyFileTo(notes, tree_.Path("Notes.txt")).status,
            CopyStatus::kSameFile);

  Run(tree_.Path(), tree_.Path(), "TXT", "txt");
  EXPECT_EQ(settings_.SuccessCount, 1);
  EXPECT_EQ(settings_.FailCount, 0);
  EXPECT_EQ(tree_.Entries(), Entries{"Notes.TXT"});
  EXPECT_EQ(tree_.Read("Notes.TXT"), "keep");
  EXPECT_TRUE(WriteTimeOf(notes) == before);
}

TEST_F(WindowsTreeTest, NamesOutsideTheCodePageRoundTripExactly) {
  struct Name {
    std::string utf8;
    std::wstring wide;
  };
  const Name names[] = {{"照片 一.JPG", L"照片 一.JPG"},
                        {"naïve ☃.jpg", L"naïve ☃.jpg"},
                        {"𝄞 music.jpg", L"𝄞 music.jpg"},
                        {"Ελληνικά.jpg", L"Ελληνικά.jpg"}};
  const std::wstring source_folder = Native(tree_.Path()) + L"\\数据 文件夹";
  ASSERT_TRUE(::CreateDirectoryW(source_folder.c_str(), nullptr));
  for (const Name& name : names) {
    HANDLE file =
        ::CreateFileW((source_folder + L"\\" + name.wide).c_str(),
                      GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name.utf8;
    DWORD written = 0;
    ::WriteFile(file, name.utf8.data(), static_cast<DWORD>(name.utf8.size()),
                &written, nullptr);
    ::CloseHandle(file);
  }
  EXPECT_EQ(
      ListFileNames(tree_.Path("数据 文件夹")),
      (NameList{"naïve ☃.jpg", "Ελληνικά.jpg", "照片 一.JPG", "𝄞 music.jpg"}));

  Run(tree_.Path("数据 文件夹"), tree_.Path("目标 目录"), "jpg", "文本");
  EXPECT_EQ(settings_.SuccessCount, 4);
  EXPECT_EQ(settings_.FailCount, 0);
  const std::wstring target_folder = Native(tree_.Path()) + L"\\目标 目录";
  for (const Name& name : names) {
    const std::wstring base = name.wide.substr(0, name.wide.rfind(L'.'));
    const std::wstring copy = target_folder + L"\\" + base + L".文本";
    EXPECT_NE(::GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES)
        << name.utf8;
    const std::string utf8_base = name.utf8.substr(0, name.utf8.rfind('.'));
    EXPECT_EQ(tree_.Read("目标 目录/" + utf8_base + ".文本"), name.utf8);
  }
}

TEST_F(WindowsTreeTest, DeepMirroredTreePassesTheOld260CharacterLimit) {
  std::string relative = "in";
  for (int level = 0; level < 16; ++level) {
    relative += "/level-" + std::to_string(level) + "-abcdefghijklmn";
  }
  const std::string deep_file = relative + "/deep.doc";
  tree_.Write(deep_file, "deep content");
  tree_.Write("in/top.doc", "top");

  Run(tree_.Path("in"), tree_.Path("out"), "doc", "txt", true);
  EXPECT_EQ(settings_.FailCount, 0);
  EXPECT_EQ(settings_.SuccessCount, 2);
  EXPECT_EQ(messages_.size(), 1u);
  const std::string copy = tree_.Path("out" + relative.substr(2) + "/deep.txt");
  ASSERT_GT(copy.size(), 300u);
  EXPECT_TRUE(Native(copy).starts_with(L"\\\\?\\"));
  EXPECT_EQ(tree_.Read("out" + relative.substr(2) + "/deep.txt"),
            "deep content");
  EXPECT_EQ(ListFileNames(copy.substr(0, copy.rfind('\\'))),
            NameList{"deep.txt"});
}

TEST_F(WindowsTreeTest, EnclosingFolderIsFoundThroughEitherSlashAndDots) {
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

TEST_F(WindowsTreeTest, LinkedFoldersAreNeitherListedNorWalked) {
  tree_.Write("in/real/a.doc", "x");
  const std::wstring link = Native(tree_.Path("in/link"));
  const DWORD kUnprivileged = 0x2;  // Developer mode, Windows 10 and later.
  ::CreateSymbolicLinkW(link.c_str(), Native(tree_.Path("in")).c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged);
  const DWORD attributes = ::GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "no folder link could be made here (Wine makes none, "
                    "Windows needs developer mode or elevation)";
  }
  EXPECT_EQ(ListFolder(tree_.Path("in")).subfolders, NameList{"real"});
  Run(tree_.Path("in"), tree_.Path("out"), "doc", "txt", true);
  EXPECT_EQ(settings_.SuccessCount, 1);
  ::RemoveDirectoryW(link.c_str());
}

}  // namespace
}  // namespace batchext
