// What real Windows volumes do that Wine does not show (indexes that move
// or are 0, scanners holding a fresh file, sparse files) through fakes of
// those facts, and what Wine can show through the real calls.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/win_content.h"
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
