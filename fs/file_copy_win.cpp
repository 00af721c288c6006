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
  std::wstring path;
  HANDLE handle;
  BY_HANDLE_FILE_INFORMATION info;
  FileIdentity identity;
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

// The attributes of a source that its copy keeps; the rest (compression,
// encryption, sparseness, ...) belong to where a file is stored.
DWORD AttributesKeptOnCopy(DWORD source) {
  return source & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
}

bool IsOpenDiskFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         ::GetFileType(handle) == FILE_TYPE_DISK;
}

bool StopRequested(const CopyOptions& options) {
  return options.stop_requested && options.stop_requested();
}

// Copies exactly `size` bytes, asking between chunks whether to stop.
CopyStatus CopyContent(HANDLE in, std::uint64_t size, HANDLE out,
                       const CopyOptions& options, DWORD& error) {
  constexpr std::uint64_t kChunk = std::uint64_t{1} << 20;
  std::uint64_t remaining = size;
  std::vector<char> buffer(static_cast<std::size_t>(std::min(size, kChunk)));
  error = ERROR_SUCCESS;
  while (remaining > 0) {
    if (StopRequested(options)) return CopyStatus::kStopped;
    const auto wanted =
        static_cast<DWORD>(std::min<std::uint64_t>(remaining, buffer.size()));
    DWORD got = 0;
    DWORD put = 0;
    if (!::ReadFile(in, buffer.data(), wanted, &got, nullptr)) {
      error = ::GetLastError();
    } else if (got == 0) {
      error = ERROR_HANDLE_EOF;
    } else if (!::WriteFile(out, buffer.data(), got, &put, nullptr)) {
      error = ::GetLastError();
    } else if (put != got) {
      error = ERROR_WRITE_FAULT;
    }
    if (error != ERROR_SUCCESS) return CopyStatus::kSystemError;
    remaining -= got;
  }
  return CopyStatus::kCopied;
}

// The named streams (such as the mark of a download) go along where both
// file systems hold them; a target that cannot hold one still gets the
// content.
CopyStatus CopyNamedStreams(const SourceFile& source, const std::wstring& copy,
                            const CopyOptions& options) {
  WIN32_FIND_STREAM_DATA stream{};
  const HANDLE find = ::FindFirstStreamW(source.path.c_str(),
                                         FindStreamInfoStandard, &stream, 0);
  if (find == INVALID_HANDLE_VALUE) return CopyStatus::kCopied;
  CopyStatus status = CopyStatus::kCopied;
  do {
    if (!IsNamedDataStream(stream.cStreamName)) continue;
    const UniqueHandle in(::CreateFileW(
        (source.path + stream.cStreamName).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const UniqueHandle out(::CreateFileW((copy + stream.cStreamName).c_str(),
                                         GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         0, nullptr));
    DWORD error = ERROR_SUCCESS;
    if (in.valid() && out.valid()) {
      status = CopyContent(in.get(), stream.StreamSize.QuadPart, out.get(),
                           options, error);
    }
  } while (status != CopyStatus::kStopped && ::FindNextStreamW(find, &stream));
  ::FindClose(find);
  return status == CopyStatus::kStopped ? status : CopyStatus::kCopied;
}

// Fills the temporary file and gives it the source's times and attributes.
// A replacement is on disk before its name changes, so that a power cut
// leaves the old file or the new one, never an empty one.
CopyResult Fill(const SourceFile& source, const std::wstring& temp,
                UniqueHandle& out, bool durable, const CopyOptions& options) {
  DWORD error = ERROR_SUCCESS;
  CopyStatus status = CopyContent(source.handle, SizeOf(source.info), out.get(),
                                  options, error);
  if (status == CopyStatus::kCopied) {
    status = CopyNamedStreams(source, temp, options);
  }
  if (status == CopyStatus::kStopped) return Failure(status);
  if (status != CopyStatus::kCopied) return SystemFailure(error);
  // Times are kept where the file system can hold them. Read-only waits
  // until the copy has its name: it would block the removal of a failed one.
  FILE_BASIC_INFO basic{};
  basic.LastAccessTime = AsLargeInteger(source.info.ftLastAccessTime);
  basic.LastWriteTime = AsLargeInteger(source.info.ftLastWriteTime);
  basic.FileAttributes = AttributesKeptOnCopy(source.info.dwFileAttributes) &
                         ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  ::SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof(basic));
  if (durable && !::FlushFileBuffers(out.get())) {
    return SystemFailure(::GetLastError());
  }
  const FileIdentity written = IdentityOfHandle(out.get());
  if (!out.Close()) return SystemFailure(::GetLastError());
  return CopyResult{CopyStatus::kCopied, {}, written};
}

void KeepReadOnly(const SourceFile& source, const std::wstring& copy) {
  if ((source.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  const DWORD attributes = ::GetFileAttributesW(copy.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    ::SetFileAttributesW(copy.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
  }
}

bool IsAlreadyThere(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Hidden and marked temporary while incomplete, so that neither people nor
// the cache treat it as a finished file. It shares the destination's folder
// and so its volume, for the rename.
UniqueHandle CreateTemporary(const std::wstring& destination,
                             std::wstring& temp, DWORD& error) {
  const auto slash = destination.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos
                                  ? std::wstring()
                                  : destination.substr(0, slash + 1);
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const std::uint64_t seed =
      static_cast<std::uint64_t>(counter.QuadPart) ^ ::GetCurrentProcessId();
  for (std::uint64_t attempt = 0; attempt < 100; ++attempt) {
    temp = folder + L".batchext-" + std::to_wstring(seed + attempt) + L".tmp";
    UniqueHandle out(::CreateFileW(
        temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    error = out.valid() ? ERROR_SUCCESS : ::GetLastError();
    if (!IsAlreadyThere(error)) return out;
  }
  return UniqueHandle(INVALID_HANDLE_VALUE);
}

// What may happen to the destination: kCopied with `replace` telling
// whether a file stands there, or the reason to leave it alone.
CopyResult CheckExisting(const SourceFile& source,
                         const std::wstring& destination,
                         const CopyOptions& options, bool& replace) {
  replace = false;
  const UniqueHandle existing = OpenForQuery(destination.c_str());
  if (!existing.valid()) {
    const DWORD error = ::GetLastError();
    // In a folder a preview would make, every name is missing with its
    // folder.
    if (error == ERROR_FILE_NOT_FOUND ||
        (options.preview && error == ERROR_PATH_NOT_FOUND)) {
      return Failure(CopyStatus::kCopied);
    }
    return SystemFailure(error);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(existing.get(), &info)) {
    return SystemFailure(::GetLastError());
  }
  if (!IsOpenDiskFile(existing.get(), info)) {
    return Failure(CopyStatus::kDestinationNotRegularFile);
  }
  // Also catches a name that differs from the source's only in case.
  const FileIdentity id = IdentityOfHandle(existing.get());
  if (id == source.identity) return CopyResult{CopyStatus::kSameFile, {}, id};
  if (options.is_reserved && options.is_reserved(id)) {
    return Failure(CopyStatus::kDestinationReserved);
  }
  if (!options.allow_replace) return Failure(CopyStatus::kDestinationProtected);
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Failure(CopyStatus::kDestinationReadOnly);
  }
  replace = true;
  return Failure(CopyStatus::kCopied);
}

// Moves the complete copy to its name. A new name is taken only while it is
// free; one taken meanwhile is checked again like any existing file.
CopyResult MoveIntoPlace(const SourceFile& source, const std::wstring& temp,
                         const std::wstring& destination, bool replace,
                         const CopyOptions& options) {
  if (!replace) {
    if (::MoveFileExW(temp.c_str(), destination.c_str(), 0)) {
      return Failure(CopyStatus::kCopied);
    }
    const DWORD error = ::GetLastError();
    if (!IsAlreadyThere(error)) return SystemFailure(error);
    const CopyResult check =
        CheckExisting(source, destination, options, replace);
    if (check.status != CopyStatus::kCopied) return check;
  }
  if (::MoveFileExW(temp.c_str(), destination.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Failure(CopyStatus::kCopied);
  }
  return SystemFailure(::GetLastError());
}

CopyResult CopyOpenSource(const SourceFile& source,
                          const std::wstring& destination,
                          const CopyOptions& options) {
  bool replace = false;
  const CopyResult check = CheckExisting(source, destination, options, replace);
  if (check.status != CopyStatus::kCopied) return check;
  if (options.preview) {
    return Failure(replace ? CopyStatus::kWouldReplace
                           : CopyStatus::kWouldCreate);
  }
  std::wstring temp;
  DWORD error = ERROR_SUCCESS;
  UniqueHandle out = CreateTemporary(destination, temp, error);
  if (!out.valid()) return SystemFailure(error);
  CopyResult result = Fill(source, temp, out, replace, options);
  if (result.Succeeded()) {
    const CopyResult moved =
        MoveIntoPlace(source, temp, destination, replace, options);
    if (moved.status != CopyStatus::kCopied) result = moved;
  }
  if (result.status == CopyStatus::kCopied) {
    KeepReadOnly(source, destination);
  } else {
    out.Close();
    ::DeleteFileW(temp.c_str());
  }
  return result;
}

std::wstring_view LastName(std::wstring_view path) {
  const auto slash = path.find_last_of(L'\\');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  SourceFile source_file{
      ToNativePath(source).native(), INVALID_HANDLE_VALUE, {}, {}};
  const std::wstring destination_path = ToNativePath(destination).native();
  const UniqueHandle in(::CreateFileW(
      source_file.path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Failure(CopyStatus::kSourceMissing);
    }
    // A folder cannot be opened as a file.
    const DWORD attributes = ::GetFileAttributesW(source_file.path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Failure(CopyStatus::kSourceNotRegularFile);
    }
    return SystemFailure(error);
  }
  source_file.handle = in.get();
  if (!::GetFileInformationByHandle(in.get(), &source_file.info)) {
    return SystemFailure(::GetLastError());
  }
  if (!IsOpenDiskFile(in.get(), source_file.info)) {
    return Failure(CopyStatus::kSourceNotRegularFile);
  }
  // The long form would make such a name literally, where every ordinary
  // program would then reach a device or a stream instead.
  if (!IsAllowedFileName(LastName(destination_path))) {
    return Failure(CopyStatus::kDestinationNameNotAllowed);
  }
  source_file.identity = IdentityOfHandle(in.get());
  return CopyOpenSource(source_file, destination_path, options);
}

}  // namespace batchext
