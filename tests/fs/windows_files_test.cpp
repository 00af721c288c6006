// What real Windows volumes do that Wine does not show (indexes that move
// or are 0, scanners holding a fresh file, sparse files) through fakes of
// those facts, and what Wine can show through the real calls.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/trash.h"
#include "fs/win_content.h"
#include "fs/win_copy_route.h"
#include "fs/win_handles.h"
#include "fs/win_support.h"
#include "tests/support/temp_tree.h"

namespace batchext {
namespace {

using testing::TempTree;

std::wstring Native(const std::string& path) {
  return ToNativePath(path).native();
}

TEST(WindowsIdentityTest, IndexesCountOnlyWhereStableAndNotZero) {
  const std::wstring path = L"\\\\?\\E:\\Photos\\a.txt";
  const auto facts = [&](std::uint64_t index, bool stable, std::wstring p) {
    return IdentityFacts{7, index, 0, stable, std::move(p)};
  };
  // NTFS: the index names the file, whatever path reached it.
  EXPECT_EQ(IdentityFromFacts(facts(42, true, path)),
            IdentityFromFacts(facts(42, true, L"\\\\?\\E:\\b.txt")));
  EXPECT_NE(IdentityFromFacts(facts(42, true, path)),
            IdentityFromFacts(facts(43, true, path)));
  // FAT32: an index is the place of a name, so a rename moves it and a new
  // file may take it; the name, compared without case, is what holds.
  EXPECT_NE(IdentityFromFacts(facts(42, false, path)),
            IdentityFromFacts(facts(42, false, L"\\\\?\\E:\\Photos\\b.txt")));
  EXPECT_EQ(IdentityFromFacts(facts(42, false, path)),
            IdentityFromFacts(facts(99, false, L"\\\\?\\e:\\PHOTOS\\A.TXT")));
  // An index of 0 names no file, even on a volume that calls them stable.
  EXPECT_NE(IdentityFromFacts(facts(0, true, path)),
            IdentityFromFacts(facts(0, true, L"\\\\?\\E:\\other")));
  EXPECT_EQ(IdentityFromFacts(facts(0, true, path)),
            IdentityFromFacts(facts(0, false, path)));
  const FileIdentity unknown = IdentityFromFacts(facts(0, true, L""));
  EXPECT_TRUE(unknown.IsZero());
  EXPECT_NE(unknown, IdentityFromFacts(facts(0, true, L"")));
}

TEST(WindowsRenameTest, PassingRefusalsAreRetriedBriefly) {
  struct Case {
    std::vector<DWORD> answers;
    DWORD result;
    std::size_t tries;
  };
  const Case cases[] = {
      // A scanner lets go after a moment.
      {{ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
       ERROR_SUCCESS,
       3},
      // A file held for good fails within a few tries.
      {std::vector<DWORD>(20, ERROR_SHARING_VIOLATION), ERROR_SHARING_VIOLATION,
       6},
      // Other failures are final at once.
      {{ERROR_ALREADY_EXISTS, ERROR_SUCCESS}, ERROR_ALREADY_EXISTS, 1},
  };
  for (const Case& c : cases) {
    std::size_t tries = 0;
    DWORD paused = 0;
    const DWORD result = RetryPassingRefusals(
        [&] { return c.answers[tries++]; }, [&](DWORD ms) { paused += ms; });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(tries, c.tries);
    EXPECT_LE(paused, 1000u);
  }
}

TEST(WindowsCopyRouteTest, TheSystemCopiesOnlyWhereItBringsSomething) {
  struct Case {
    std::uint32_t source;
    VolumeFacts target;
    std::wstring_view forced;
    CopyRoute route;
  };
  const Case cases[] = {
      {7, {7, false, false}, L"", CopyRoute::kOwnLoop},
      // A server copies on its side.
      {7, {9, true, false}, L"", CopyRoute::kSystem},
      // Blocks are cloned within one volume only, and 0 names none.
      {7, {7, false, true}, L"", CopyRoute::kSystem},
      {7, {9, false, true}, L"", CopyRoute::kOwnLoop},
      {0, {0, false, true}, L"", CopyRoute::kOwnLoop},
      {7, {7, false, false}, L"system", CopyRoute::kSystem},
      {7, {9, true, false}, L"loop", CopyRoute::kOwnLoop},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseCopyRoute(c.source, c.target, c.forced), c.route)
        << c.source << " " << c.target.serial << c.target.remote
        << c.target.block_cloning;
  }
}

class WindowsFilesTest : public ::testing::Test {
 protected:
  UniqueHandle Open(const std::string& relative, DWORD access,
                    DWORD disposition) {
    return UniqueHandle(::CreateFileW(Native(tree_.Path(relative)).c_str(),
                                      access, FILE_SHARE_READ, nullptr,
                                      disposition, 0, nullptr));
  }

  TempTree tree_;
};

std::string ReadPath(const std::string& path) {
  std::ifstream in(ToNativePath(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The old file waits in the Recycle Bin of its volume, recorded the way
// Explorer lists and restores it, while the copy replaces it in one step.
TEST_F(WindowsFilesTest, AReplacedFileWaitsInTheRecycleBinWithItsRecord) {
  tree_.Write("in/a.doc", "new");
  tree_.Write("out/a.txt", "old!");
  const std::string path = tree_.Path("out/a.txt");
  const OpenedFolder out = OpenFolder(tree_.Path("out"));
  ASSERT_TRUE(out.folder.valid());
  std::vector<std::string> kept;
  {
    Trash trash;
    for (int i = 0; i < 2; ++i) {
      std::string why_not;
      kept.push_back(trash.Keep(out.folder, "a.txt", path, why_not));
      ASSERT_FALSE(kept.back().empty()) << why_not;
    }
  }
  ASSERT_EQ(CopyFileTo(tree_.Path("in/a.doc"), path).status,
            CopyStatus::kCopied);
  EXPECT_EQ(tree_.Read("out/a.txt"), "new");
  EXPECT_EQ(ReadPath(kept[0]), "old!");
  const auto slash = kept[0].rfind('\\');
  EXPECT_NE(kept[0].find(":\\$Recycle.Bin\\S-1-"), std::string::npos);
  EXPECT_TRUE(kept[0].substr(slash).starts_with("\\$R")) << kept[0];
  EXPECT_TRUE(kept[0].ends_with(".txt")) << kept[0];

  // Version 2: version, size, deletion time, path length with its
  // terminator, the path in UTF-16.
  std::string record = kept[0];
  record[slash + 2] = 'I';
  const std::string bytes = ReadPath(record);
  ASSERT_GE(bytes.size(), 28u);
  const auto number = [&](std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      value |= std::uint64_t{static_cast<unsigned char>(bytes[offset + i])}
               << (8 * i);
    }
    return value;
  };
  EXPECT_EQ(number(0, 8), 2u);
  EXPECT_EQ(number(8, 8), 4u);
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  EXPECT_LT(ticks - number(16, 8), 600000000u);  // within a minute
  const std::wstring wide = Utf8ToWide(path);
  ASSERT_EQ(number(24, 4), wide.size() + 1);
  ASSERT_EQ(bytes.size(), 28 + 2 * (wide.size() + 1));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 28)),
            wide);

  // A later run's undo finds both, oldest first, and forgets what it is
  // told to.
  EXPECT_EQ(Trash().KeptFor(path, ""), kept);
  EXPECT_EQ(Trash().KeptFor(path, "9999"), std::vector<std::string>{});
  ForgetInTrash(kept[0]);
  EXPECT_EQ(::GetFileAttributesW(Native(kept[0]).c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetFileAttributesW(Native(record).c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Trash().KeptFor(path, ""), std::vector<std::string>{kept[1]});
  ForgetInTrash(kept[1]);
}

// Wine cannot tell where a file holds data, so the ranges stand in for
// what a sparse source would report.
TEST_F(WindowsFilesTest, OnlyTheAllocatedRangesAreCopiedToTheirPlaces) {
  constexpr std::size_t kBlock = 64 << 10;
  tree_.Write("in", std::string(kBlock, 'a') + std::string(kBlock, 'b') +
                        std::string(kBlock, 'c'));
  {
    UniqueHandle in = Open("in", GENERIC_READ, OPEN_EXISTING);
    UniqueHandle out = Open("out", GENERIC_WRITE, CREATE_NEW);
    DWORD error = 0;
    ASSERT_EQ(CopyRanges(in.get(), out.get(),
                         {{0, kBlock}, {2 * kBlock, kBlock}}, {}, error),
              CopyStatus::kCopied);
  }
  EXPECT_EQ(tree_.Read("out"), std::string(kBlock, 'a') +
                                   std::string(kBlock, '\0') +
                                   std::string(kBlock, 'c'));
}

TEST_F(WindowsFilesTest, CopyIsKnownUnderItsFinalNameAndRetriesAHeldFile) {
  tree_.Write("in/a.doc", "new");
  tree_.Write("out/a.txt", "old");
  // Held without leave to delete it for a moment, as a scanner would.
  UniqueHandle held = Open("out/a.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_TRUE(held.valid());
  std::thread release([&] {
    ::Sleep(60);
    held.Close();
  });
  const CopyResult result =
      CopyFileTo(tree_.Path("in/a.doc"), tree_.Path("out/a.txt"));
  release.join();
  EXPECT_EQ(result.status, CopyStatus::kCopied) << result.system_error;
  EXPECT_EQ(tree_.Read("out/a.txt"), "new");
  EXPECT_EQ(result.destination, GetFileIdentity(tree_.Path("out/a.txt")));
}

// A copy is known by what its folder learnt when it was opened, however
// the folder was reached (in another case too): the same identity as the
// copy's own handle tells.
TEST_F(WindowsFilesTest, CopyIsKnownAsItsHandleTellsInEveryFolder) {
  tree_.Write("in/a.doc", "a");
  tree_.MakeFolder("out/sub/deeper");
  const OpenedFolder in = OpenFolder(tree_.Path("in"));
  const OpenedFolder out = OpenFolder(tree_.Path("out"));
  const OpenedFolder sub = OpenSubfolder(out.folder, "SUB");
  const OpenedFolder deeper = OpenSubfolder(sub.folder, "deeper");
  const OpenedFolder climbed =
      OpenParentFolder(deeper.folder, *IdentityOf(sub.folder));
  const std::pair<const FolderHandle*, std::string> targets[] = {
      {&out.folder, "out/a.txt"},
      {&deeper.folder, "out/sub/deeper/a.txt"},
      {&climbed.folder, "out/sub/a.txt"}};
  for (const auto& [folder, copy] : targets) {
    const CopyResult result = CopyFileAt(in.folder, "a.doc", *folder, "a.txt");
    ASSERT_EQ(result.status, CopyStatus::kCopied) << copy;
    EXPECT_EQ(result.destination, GetFileIdentity(tree_.Path(copy))) << copy;
  }
}

// Named streams (such as the mark of a download) go with the copy, asked of
// the open source rather than by its path.
TEST_F(WindowsFilesTest, NamedStreamsGoWithTheCopy) {
  DWORD flags = 0;
  if (!::GetVolumeInformationByHandleW(
          OpenForQuery(Native(tree_.Path()).c_str()).get(), nullptr, 0, nullptr,
          nullptr, &flags, nullptr, 0) ||
      (flags & FILE_NAMED_STREAMS) == 0) {
    GTEST_SKIP() << "the volume holds no named streams (as under Wine)";
  }
  const auto mark = [&](const std::string& file) {
    return std::filesystem::path(Native(tree_.Path(file)) + L":mark");
  };
  tree_.Write("in/a.doc", "main");
  std::ofstream(mark("in/a.doc")) << "zone";
  ASSERT_EQ(CopyFileTo(tree_.Path("in/a.doc"), tree_.Path("out/a.txt")).status,
            CopyStatus::kCopied);
  EXPECT_EQ(tree_.Read("out/a.txt"), "main");
  std::ostringstream stream;
  stream << std::ifstream(mark("out/a.txt")).rdbuf();
  EXPECT_EQ(stream.str(), "zone");
}

// A rename over a file would drop the rules set on it by hand; the copy
// that replaces it takes them first. Inherited rules stay as the folder
// gives them.
TEST_F(WindowsFilesTest, AReplacementKeepsTheRulesSetOnTheReplacedFile) {
  const auto rules_of = [&](const std::string& relative) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL acl = nullptr;
    UniqueHandle file = Open(relative, READ_CONTROL, OPEN_EXISTING);
    wchar_t* text = nullptr;
    if (::GetSecurityInfo(file.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, &acl, nullptr,
                          &descriptor) != ERROR_SUCCESS ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
            nullptr)) {
      return std::wstring(L"?");
    }
    std::wstring rules = text;
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return rules;
  };
  tree_.Write("in/a.doc", "new");
  tree_.Write("out/plain.txt", "old");
  const std::wstring inherited = rules_of("out/plain.txt");
  const std::wstring set_by_hand[] = {L"D:P(A;;FA;;;WD)(A;;FR;;;BU)",
                                      L"D:(A;;FA;;;WD)"};
  for (const std::wstring& rules : set_by_hand) {
    SCOPED_TRACE(WideToUtf8(rules));
    tree_.Write("out/a.txt", "old");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        rules.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    const BOOL set = ::SetFileSecurityW(Native(tree_.Path("out/a.txt")).c_str(),
                                        DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    ASSERT_TRUE(set);
    const std::wstring before = rules_of("out/a.txt");
    if (before == inherited) GTEST_SKIP() << "no rules are kept here";
    ASSERT_EQ(
        CopyFileTo(tree_.Path("in/a.doc"), tree_.Path("out/a.txt")).status,
        CopyStatus::kCopied);
    EXPECT_EQ(tree_.Read("out/a.txt"), "new");
    EXPECT_EQ(rules_of("out/a.txt"), before);
  }
  // A file with inherited rules only is replaced by one with the same.
  ASSERT_EQ(
      CopyFileTo(tree_.Path("in/a.doc"), tree_.Path("out/plain.txt")).status,
      CopyStatus::kCopied);
  EXPECT_EQ(rules_of("out/plain.txt"), inherited);
}

// What a junction swapped in after the check would do: the name leads
// elsewhere. The copy is written in the folder opened, never at its name.
// (Wine loses a folder's handle once the folder is renamed, so the rename
// that would publish it is left to Windows.)
TEST_F(WindowsFilesTest, CopiesAreWrittenInTheFolderOpenedNotAtItsName) {
  tree_.Write("in/a.doc", "a");
  const OpenedFolder source = OpenFolder(tree_.Path("in"));
  const OpenedFolder root = MakeFolder(tree_.Path("out"));
  ASSERT_TRUE(source.folder.valid() && root.folder.valid());
  const OpenedFolder sub = MakeSubfolder(root.folder, "sub");
  ASSERT_TRUE(sub.made);
  ASSERT_TRUE(::MoveFileW(Native(tree_.Path("out/sub")).c_str(),
                          Native(tree_.Path("out/moved")).c_str()));
  tree_.MakeFolder("out/sub");
  StagedCopy staged;
  const CopyResult result =
      StageCopy(source.folder, "a.doc", sub.folder, false, {}, staged);
  EXPECT_EQ(result.status, CopyStatus::kCopied) << result.system_error;
  const std::vector<std::string> entries = tree_.Entries("out");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "moved/");
  EXPECT_TRUE(entries[1].starts_with("moved/.batchext-")) << entries[1];
  EXPECT_EQ(entries[2], "sub/");
}

}  // namespace
}  // namespace batchext
