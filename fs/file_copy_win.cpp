#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fs/file_copy.h"
#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

CopyResult Failure(CopyStatus status) { return CopyResult::Of(status); }

CopyResult SystemFailure(DWORD error) {
  return CopyResult{CopyStatus::kSystemError,
                    SystemErrorText(error),
                    static_cast<int>(error),
                    {}};
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
  return CopyResult::Of(CopyStatus::kCopied, written);
}

void KeepReadOnly(const std::wstring& copy) {
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
UniqueHandle CreateTemporary(const std::wstring& folder, std::wstring& temp,
                             DWORD& error) {
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

// The folder part of a native path, with its separator.
std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring()
                                     : path.substr(0, slash + 1);
}

// Opens the source for reading; a status other than kCopied says why not.
CopyResult OpenSource(SourceFile& source, UniqueHandle& in) {
  in = UniqueHandle(::CreateFileW(
      source.path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.valid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Failure(CopyStatus::kSourceMissing);
    }
    // A folder cannot be opened as a file.
    const DWORD attributes = ::GetFileAttributesW(source.path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Failure(CopyStatus::kSourceNotRegularFile);
    }
    return SystemFailure(error);
  }
  source.handle = in.get();
  if (!::GetFileInformationByHandle(in.get(), &source.info)) {
    return SystemFailure(::GetLastError());
  }
  if (!IsOpenDiskFile(in.get(), source.info)) {
    return Failure(CopyStatus::kSourceNotRegularFile);
  }
  source.identity = IdentityOfHandle(in.get());
  return Failure(CopyStatus::kCopied);
}

}  // namespace

bool IsMomentary(const CopyResult& result) {
  switch (static_cast<DWORD>(result.error_number)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_QUOTA:
      return true;
    default:
      return false;
  }
}

StagedCopy::StagedCopy(StagedCopy&& other) noexcept
    : temp_name_(std::move(other.temp_name_)),
      folder_path_(std::move(other.folder_path_)),
      read_only_(other.read_only_) {
  other.temp_name_.clear();
}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept {
  if (this != &other) {
    Discard();
    temp_name_ = std::move(other.temp_name_);
    other.temp_name_.clear();
    folder_path_ = std::move(other.folder_path_);
    read_only_ = other.read_only_;
  }
  return *this;
}

void StagedCopy::Discard() {
  if (!temp_name_.empty()) ::DeleteFileW(Utf8ToWide(temp_name_).c_str());
  temp_name_.clear();
}

CopyResult StageCopy(const FolderHandle& source_folder, std::string_view name,
                     const FolderHandle& target_folder, bool replacing,
                     const CopyOptions& options, StagedCopy& staged) {
  staged.Discard();
  SourceFile source{
      ToNativePath(source_folder.path() + std::string(name)).native(),
      INVALID_HANDLE_VALUE,
      {},
      {}};
  UniqueHandle in(INVALID_HANDLE_VALUE);
  const CopyResult opened = OpenSource(source, in);
  if (opened.status != CopyStatus::kCopied) return opened;
  // The temporary shares the destination's folder and so its volume, for
  // the rename.
  const std::wstring folder =
      FolderOf(ToNativePath(target_folder.path() + "x").native());
  std::wstring temp;
  DWORD error = ERROR_SUCCESS;
  UniqueHandle out = CreateTemporary(folder, temp, error);
  if (!out.valid()) return SystemFailure(error);
  const CopyResult result = Fill(source, temp, out, replacing, options);
  if (!result.Succeeded()) {
    out.Close();
    ::DeleteFileW(temp.c_str());
    return result;
  }
  staged.temp_name_ = WideToUtf8(temp);
  staged.folder_path_ = WideToUtf8(folder);
  staged.read_only_ =
      (source.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return result;
}

CopyResult PublishCopy(StagedCopy& staged, std::string_view new_name,
                       bool replace, bool& taken) {
  taken = false;
  const std::wstring temp = Utf8ToWide(staged.temp_name_);
  const std::wstring destination =
      Utf8ToWide(staged.folder_path_) + Utf8ToWide(new_name);
  const DWORD flags =
      replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : 0;
  if (!::MoveFileExW(temp.c_str(), destination.c_str(), flags)) {
    const DWORD error = ::GetLastError();
    taken = !replace && IsAlreadyThere(error);
    return SystemFailure(error);
  }
  staged.temp_name_.clear();
  if (staged.read_only_) KeepReadOnly(destination);
  return Failure(CopyStatus::kCopied);
}

CopyResult CopyFileTo(std::string_view source, std::string_view destination,
                      const CopyOptions& options) {
  const auto split = [](std::string_view path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string_view::npos
               ? std::pair{std::string(), std::string(path)}
               : std::pair{std::string(path.substr(0, slash + 1)),
                           std::string(path.substr(slash + 1))};
  };
  const auto [source_folder, name] = split(source);
  const auto [target_folder, new_name] = split(destination);
  return CopyFileAt(FolderHandle(-1, source_folder), name,
                    FolderHandle(-1, target_folder), new_name, options);
}

}  // namespace batchext
