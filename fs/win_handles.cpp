#include "fs/win_handles.h"

#include <winternl.h>

#include <cstring>
#include <vector>

namespace batchext {
namespace {

// Newer than the headers this builds with.
constexpr auto kFileRenameInformationEx =
    static_cast<FILE_INFORMATION_CLASS>(65);
constexpr auto kFileLinkInformation = static_cast<FILE_INFORMATION_CLASS>(11);
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;

UNICODE_STRING Counted(std::wstring_view text) {
  UNICODE_STRING counted{};
  counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  counted.Buffer = const_cast<wchar_t*>(text.data());
  return counted;
}

// Renames and links take the same structure.
NTSTATUS Rename(HANDLE file, HANDLE folder, std::wstring_view name,
                FILE_INFORMATION_CLASS kind, ULONG flags) {
  // The structure ends in the name; the flags share the first field with
  // the older form's single byte.
  const std::size_t name_offset = offsetof(FILE_RENAME_INFORMATION, FileName);
  const std::size_t name_bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(name_offset + name_bytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  std::memcpy(buffer.data(), &flags, sizeof(flags));
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<ULONG>(name_bytes);
  std::memcpy(buffer.data() + name_offset, name.data(), name_bytes);
  IO_STATUS_BLOCK status{};
  return ::NtSetInformationFile(file, &status, buffer.data(),
                                static_cast<ULONG>(buffer.size()), kind);
}

}  // namespace

DWORD OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                   ULONG share, ULONG disposition, ULONG options,
                   ULONG attributes, UniqueHandle& opened, bool* created) {
  UNICODE_STRING counted = Counted(name);
  OBJECT_ATTRIBUTES object{};
  InitializeObjectAttributes(&object, &counted, OBJ_CASE_INSENSITIVE, root,
                             nullptr);
  IO_STATUS_BLOCK status{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS result = ::NtCreateFile(
      &handle, access | SYNCHRONIZE, &object, &status, nullptr, attributes,
      share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(result)) {
    opened = UniqueHandle(INVALID_HANDLE_VALUE);
    return ::RtlNtStatusToDosError(result);
  }
  opened = UniqueHandle(handle);
  if (created != nullptr) *created = status.Information == FILE_CREATED;
  return ERROR_SUCCESS;
}

DWORD RenameOpenFile(HANDLE file, HANDLE folder, std::wstring_view name,
                     bool replace) {
  NTSTATUS result =
      Rename(file, folder, name, kFileRenameInformationEx,
             kRenamePosixSemantics | (replace ? kRenameReplaceIfExists : 0));
  // Older systems, and file systems without POSIX semantics, know only the
  // first form.
  if (result == static_cast<NTSTATUS>(0xC0000002L) ||  // not implemented
      result == static_cast<NTSTATUS>(0xC0000003L) ||  // invalid class
      result == static_cast<NTSTATUS>(0xC00000BBL) ||  // not supported
      result == static_cast<NTSTATUS>(0xC000000DL)) {  // invalid parameter
    result = Rename(file, folder, name, FileRenameInformation, replace ? 1 : 0);
  }
  return NT_SUCCESS(result) ? ERROR_SUCCESS : ::RtlNtStatusToDosError(result);
}

DWORD LinkOpenFile(HANDLE file, HANDLE folder, std::wstring_view name) {
  const NTSTATUS result = Rename(file, folder, name, kFileLinkInformation, 0);
  return NT_SUCCESS(result) ? ERROR_SUCCESS : ::RtlNtStatusToDosError(result);
}

bool IsPassingRefusal(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

DWORD RetryPassingRefusals(const std::function<DWORD()>& attempt,
                           const std::function<void(DWORD)>& pause) {
  // About a third of a second in all: long enough for a scanner's look,
  // short enough that a file really held open fails soon.
  constexpr DWORD kPauses[] = {10, 20, 40, 80, 160};
  DWORD error = attempt();
  for (const DWORD milliseconds : kPauses) {
    if (!IsPassingRefusal(error)) break;
    pause(milliseconds);
    error = attempt();
  }
  return error;
}

bool SetDeleteOnClose(HANDLE file, bool delete_on_close) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = delete_on_close ? TRUE : FALSE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != 0;
}

}  // namespace batchext
