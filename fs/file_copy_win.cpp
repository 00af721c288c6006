#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/file_copy.h"
#include "fs/native_path.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

CopyResult Failure(CopyStatus status) { return CopyResult{status, {}, {}}; }

CopyResult SystemFailure(DWORD error) {
  return CopyResult{CopyStatus::kSystemError, SystemErrorText(error), {}};
}

struct SourceFile {
  HANDLE handle;
  BY_HANDLE_FILE_INFORMATION info;
};

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

LARGE_INTEGER AsLargeInteger(const FILETIME& time) {
  LARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = static_cast<LONG>(time.dwHighDateTime);
  return value;
}

bool IsOpenDiskFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         ::GetFileType(handle) == FILE_TYPE_DISK;
}

// Copies exactly the source's size. False, with the error, when the source
// ends early or a write fails.
bool CopyContent(const SourceFile& source, HANDLE out, DWORD& error) {
  constexpr std::uint64_t kChunk = std::uint64_t{1} << 20;
  std::uint64_t remaining = SizeOf(source.info);
  std::vector<char> buffer(
      static_cast<std::size_t>(std::min(remaining, kChunk)));
  while (remaining > 0) {
    const auto wanted =
        static_cast<DWORD>(std::min<std::uint64_t>(remaining, buffer.size()));
    DWORD got = 0;
    if (!::ReadFile(source.handle, buffer.data(), wanted, &got, nullptr)) {
      error = ::GetLastError();
      return false;
    }
    if (got == 0) {
      error = ERROR_HANDLE_EOF;
      return false;
    }
    DWORD put = 0;
    if (!::WriteFile(out, buffer.data(), got, &put, nullptr)) {
      error = ::GetLastError();
      return false;
    }
    if (put != got) {
      error = ERROR_WRITE_FAULT;
      return false;
    }
    remaining -= got;
  }
  return true;
}

// Writes the content and the source's metadata into `out` and closes it.
CopyResult FillAndClose(const SourceFile& source, UniqueHandle& out) {
  DWORD error = ERROR_SUCCESS;
  if (!CopyContent(source, out.get(), error)) return SystemFailure(error);
  // Times are kept where the file system can hold them; one that cannot
  // still gets the content. Zero leaves a field as it is.
  FILE_BASIC_INFO basic{};
  basic.LastAccessTime = AsLargeInteger(source.info.ftLastAccessTime);
  basic.LastWriteTime = AsLargeInteger(source.info.ftLastWriteTime);
  ::SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof(basic));
  BY_HANDLE_FILE_INFORMATION written{};
  if (!::GetFileInformationByHandle(out.get(), &written)) {
    return SystemFailure(::GetLastError());
  }
  if (!out.Close()) return SystemFailure(::GetLastError());
  return CopyResult{CopyStatus::kCopied, {}, IdentityOf(written)};
}

// Only once the copy stands complete under its name: a read-only file could
// be neither renamed over another nor removed after a failure.
void KeepReadOnly(const SourceFile& source, const std::wstring& copy) {
  if ((source.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  const DWORD attributes = ::GetFileAttributesW(copy.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    ::SetFileAttributesW(copy.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
  }
}

// A complete copy, standing under its final name, takes the source's
// read-only attribute; an incomplete one is removed.
CopyResult Settle(const CopyResult& result, const SourceFile& source,
                  UniqueHandle& out, const std::wstring& written,
                  const std::wstring& final_name) {
  if (result.Succeeded()) {
    KeepReadOnly(source, final_name);
  } else {
    out.Close();
    ::DeleteFileW(written.c_str());
  }
  return result;
}

UniqueHandle CreateExclusively(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
}

bool IsAlreadyThere(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

CopyResult ReplaceExisting(const SourceFile& source,
                           const std::wstring& destination) {
  // The temporary file must share the destination's volume for the rename.
  const auto slash = destination.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos
                                  ? std::wstring()
                                  : destination.substr(0, slash + 1);
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const std::uint64_t seed =
      static_cast<std::uint64_t>(counter.QuadPart) ^ ::GetCurrentProcessId();
  std::wstring temp;
  UniqueHandle out(INVALID_HANDLE_VALUE);
  for (std::uint64_t attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
    temp = folder + L".batchext-" + std::to_wstring(seed + attempt) + L".tmp";
    out = CreateExclusively(temp);
    const DWORD error = out.valid() ? ERROR_SUCCESS : ::GetLastError();
    if (!out.valid() && !IsAlreadyThere(error)) return SystemFailure(error);
  }
  if (!out.valid()) return SystemFailure(ERROR_FILE_EXISTS);
  CopyResult result = FillAndClose(source, out);
  if (result.Succeeded() && !::MoveFileExW(temp.c_str(), destination.c_str(),
                                           MOVEFILE_REPLACE_EXISTING)) {
    result = SystemFailure(::GetLastError());
  }
  return Settle(result, source, out, temp, destination);
}

CopyResult CheckExisting(const SourceFile& source,
                         const std::wstring& destination, DWORD create_error,
                         const CopyOptions& options) {
  const UniqueHandle existing = OpenForQuery(destination.c_str());
  // Nothing there: the creation failed for a reason of its own.
  if (!existing.valid()) return SystemFailure(create_error);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(existing.get(), &info)) {
    return SystemFailure(::GetLastError());
  }
  if (!IsOpenDiskFile(existing.get(), info)) {
    return Failure(CopyStatus::kDestinationNotRegularFile);
  }
  // Also catches a name that differs from the source's only in case.
  const FileIdentity id = IdentityOf(info);
  if (id == IdentityOf(source.info)) {
    return CopyResult{CopyStatus::kSameFile, {}, id};
  }
  if (options.is_reserved && options.is_reserved(id)) {
    return Failure(CopyStatus::kDestinationReserved);
  }
  if (!options.allow_replace) return Failure(CopyStatus::kDestinationProtected);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Failure(CopyStatus::kDestinationReadOnly);
  }
  return CopyResult{CopyStatus::kCopied, {}, id};
}

}  // namespace

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  const std::wstring source_path = ToNativePath(source).native();
  const std::wstring destination_path = ToNativePath(destination).native();
  const UniqueHandle in(::CreateFileW(
      source_path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Failure(CopyStatus::kSourceMissing);
    }
    // A folder cannot be opened as a file.
    const DWORD attributes = ::GetFileAttributesW(source_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Failure(CopyStatus::kSourceNotRegularFile);
    }
    return SystemFailure(error);
  }
  SourceFile source_file{in.get(), {}};
  if (!::GetFileInformationByHandle(in.get(), &source_file.info)) {
    return SystemFailure(::GetLastError());
  }
  if (!IsOpenDiskFile(in.get(), source_file.info)) {
    return Failure(CopyStatus::kSourceNotRegularFile);
  }

  UniqueHandle out = CreateExclusively(destination_path);
  if (out.valid()) {
    return Settle(FillAndClose(source_file, out), source_file, out,
                  destination_path, destination_path);
  }
  const DWORD create_error = ::GetLastError();
  if (!IsAlreadyThere(create_error) && create_error != ERROR_ACCESS_DENIED) {
    return SystemFailure(create_error);
  }
  const CopyResult check =
      CheckExisting(source_file, destination_path, create_error, options);
  if (check.status != CopyStatus::kCopied) return check;
  return ReplaceExisting(source_file, destination_path);
}

}  // namespace batchext
