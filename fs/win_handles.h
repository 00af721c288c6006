#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "fs/win_support.h"

namespace batchext {

// A folder handle travels in FolderHandle's descriptor: Windows keeps the
// handles of a 64-bit process within 32 bits, sign-extended.
inline int DescriptorOfHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : HandleToLong(handle);
}
inline HANDLE HandleOfDescriptor(int descriptor) {
  return descriptor < 0 ? INVALID_HANDLE_VALUE : LongToHandle(descriptor);
}

// Opens or makes `name` inside the folder `root` (a stream name inside a
// file), never by a path that a link on the way could redirect. Answers a
// Win32 error code; `created` tells whether the entry was made.
DWORD OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                   ULONG share, ULONG disposition, ULONG options,
                   ULONG attributes, UniqueHandle& opened,
                   bool* created = nullptr);

// Gives the open file the name `name` in the folder `folder` (opened with
// DELETE access). POSIX semantics where the system has them, so that a
// reader holding the replaced file open does not block the replacement.
DWORD RenameOpenFile(HANDLE file, HANDLE folder, std::wstring_view name,
                     bool replace);

// Gives the open file `file` a further name `name` in the folder `folder`,
// failing where that name is taken.
DWORD LinkOpenFile(HANDLE file, HANDLE folder, std::wstring_view name);

// A refusal that virus scanners, the indexer or sync clients cause by
// holding a fresh file open for a moment.
bool IsPassingRefusal(DWORD error);

// Runs `attempt` until it succeeds, fails for another reason, or a few
// short pauses have passed; `pause` waits the milliseconds it is given.
DWORD RetryPassingRefusals(const std::function<DWORD()>& attempt,
                           const std::function<void(DWORD)>& pause);

// Marks the open file to be deleted once its last handle closes, or clears
// the mark. A killed run then leaves no temporary behind.
bool SetDeleteOnClose(HANDLE file, bool delete_on_close);

}  // namespace batchext
