#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fs/file_identity.h"

namespace batchext {

// UTF-16 text of UTF-8 text. A lone surrogate, which Windows allows in
// names, travels in its three-byte form so that every name round-trips;
// other malformed bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);

// The inverse of Utf8ToWide.
std::string WideToUtf8(std::wstring_view text);

// The system's own description of an error code, as UTF-8.
std::string SystemErrorText(DWORD error);

// What an open file tells about itself that its identity is made of.
struct IdentityFacts {
  std::uint32_t volume_serial = 0;
  std::uint64_t index = 0;
  std::uint64_t index_high = 0;
  // The volume can open a file by its index, so the index names the file
  // for good; on FAT32 and exFAT it is the place of the name and moves
  // with every rename.
  bool stable_index = false;
  // The file's path with links resolved, asked only where the index is not
  // stable; empty when unknown.
  std::wstring final_path;
};

// Takes the 128-bit index and the volume's serial from a file's id.
void TakeFileId(const FILE_ID_INFO& id, IdentityFacts& facts);

// The index where the volume keeps it stable and it is not 0, else the
// final path upper-cased the way such volumes compare names; zero when
// neither is known, which names nothing.
FileIdentity IdentityFromFacts(const IdentityFacts& facts);

// IdentityFromFacts of what the system tells about the handle (the 128-bit
// index where it has one: ReFS indexes do not fit 64 bits).
FileIdentity IdentityOfHandle(HANDLE handle);

// The path of an open file or folder with links resolved, in the long form
// the system gives; empty when it cannot be asked.
std::wstring FinalPathOfHandle(HANDLE handle);

// True when the text may end a file name: no character Windows forbids, no
// ":" that would make it a stream, no trailing dot or space that Windows
// would drop. Empty text ends nothing and passes.
bool CanEndFileName(std::wstring_view text);

// True when a file may be made under this name: a non-empty name that
// CanEndFileName accepts and not a device name that ordinary programs would
// open instead of the file.
bool IsAllowedFileName(std::wstring_view name);

// Symbolic links and junctions; other reparse points, such as files kept in
// the cloud, are ordinary entries.
inline bool IsLinkEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(entry.dwReserved0);
}

// True for a stream name, as the stream listing gives it
// (":Zone.Identifier:$DATA"), that names a data stream besides the main one.
bool IsNamedDataStream(std::wstring_view stream);

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.Release();
    }
    return *this;
  }
  ~UniqueHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closing can report a failed write-back, so its answer counts.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Opens a file or folder, through links, only to ask about it.
inline UniqueHandle OpenForQuery(const wchar_t* path) {
  return UniqueHandle(::CreateFileW(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace batchext
