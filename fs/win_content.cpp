#include "fs/win_content.h"

#include <winioctl.h>
#include <winternl.h>

#include <algorithm>

// Not in the user-mode headers this builds with.
extern "C" {
NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                          PVOID apc_context, PIO_STATUS_BLOCK status,
                          PVOID buffer, ULONG length, PLARGE_INTEGER offset,
                          PULONG key);
NTSTATUS NTAPI NtWriteFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                           PVOID apc_context, PIO_STATUS_BLOCK status,
                           const void* buffer, ULONG length,
                           PLARGE_INTEGER offset, PULONG key);
}

namespace batchext {
namespace {

bool StopRequested(const CopyOptions& options) {
  return options.stop_requested && options.stop_requested();
}

DWORD CopyRange(HANDLE in, HANDLE out, const ByteRange& range,
                std::vector<char>& buffer, const CopyOptions& options,
                bool& stopped) {
  std::uint64_t offset = range.offset;
  const std::uint64_t end = range.offset + range.length;
  while (offset < end) {
    if (StopRequested(options)) {
      stopped = true;
      return ERROR_SUCCESS;
    }
    const auto wanted = static_cast<DWORD>(
        std::min<std::uint64_t>(end - offset, buffer.size()));
    // At their places, so that no seek is needed, and straight to the
    // system: the Win32 forms with a place report to a completion port,
    // which under Wine costs a round trip each.
    LARGE_INTEGER place;
    place.QuadPart = static_cast<LONGLONG>(offset);
    IO_STATUS_BLOCK status{};
    NTSTATUS result = ::NtReadFile(in, nullptr, nullptr, nullptr, &status,
                                   buffer.data(), wanted, &place, nullptr);
    if (!NT_SUCCESS(result)) return ::RtlNtStatusToDosError(result);
    const auto got = static_cast<ULONG>(status.Information);
    if (got == 0) return ERROR_HANDLE_EOF;
    status = IO_STATUS_BLOCK{};
    result = ::NtWriteFile(out, nullptr, nullptr, nullptr, &status,
                           buffer.data(), got, &place, nullptr);
    if (!NT_SUCCESS(result)) return ::RtlNtStatusToDosError(result);
    if (status.Information != got) return ERROR_WRITE_FAULT;
    offset += got;
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::optional<std::vector<ByteRange>> AllocatedRanges(HANDLE file,
                                                      std::uint64_t size) {
  std::vector<ByteRange> ranges;
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.Length.QuadPart = static_cast<LONGLONG>(size);
  std::vector<FILE_ALLOCATED_RANGE_BUFFER> found(64);
  while (query.FileOffset.QuadPart < static_cast<LONGLONG>(size)) {
    DWORD bytes = 0;
    const BOOL all = ::DeviceIoControl(
        file, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof(query), found.data(),
        static_cast<DWORD>(found.size() * sizeof(found[0])), &bytes, nullptr);
    if (!all && ::GetLastError() != ERROR_MORE_DATA) return std::nullopt;
    const std::size_t count = bytes / sizeof(found[0]);
    if (count == 0) break;
    for (std::size_t i = 0; i < count; ++i) {
      const auto offset =
          static_cast<std::uint64_t>(found[i].FileOffset.QuadPart);
      const auto end = std::min<std::uint64_t>(
          size, offset + static_cast<std::uint64_t>(found[i].Length.QuadPart));
      if (end > offset) ranges.push_back({offset, end - offset});
    }
    if (all) break;
    // Asks again from where the last answer ended.
    const auto& last = found[count - 1];
    query.FileOffset.QuadPart = last.FileOffset.QuadPart + last.Length.QuadPart;
    query.Length.QuadPart =
        static_cast<LONGLONG>(size) - query.FileOffset.QuadPart;
  }
  return ranges;
}

CopyStatus CopyRanges(HANDLE in, HANDLE out,
                      const std::vector<ByteRange>& ranges,
                      const CopyOptions& options, DWORD& error) {
  constexpr std::uint64_t kChunk = std::uint64_t{1} << 20;
  std::uint64_t largest = 0;
  for (const ByteRange& range : ranges) {
    largest = std::max(largest, range.length);
  }
  std::vector<char> buffer(static_cast<std::size_t>(std::min(largest, kChunk)));
  error = ERROR_SUCCESS;
  for (const ByteRange& range : ranges) {
    bool stopped = false;
    error = CopyRange(in, out, range, buffer, options, stopped);
    if (stopped) return CopyStatus::kStopped;
    if (error != ERROR_SUCCESS) return CopyStatus::kSystemError;
  }
  return CopyStatus::kCopied;
}

}  // namespace batchext
