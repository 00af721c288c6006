#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fs/file_copy.h"
#include "fs/folder_handle.h"
#include "fs/native_path.h"
#include "fs/temporary_name.h"
#include "fs/win_content.h"
#include "fs/win_copy_route.h"
#include "fs/win_folder_facts.h"
#include "fs/win_handles.h"
#include "fs/win_security.h"
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
  // For the system's copy, which goes by path.
  std::wstring path;
  HANDLE handle;
  // Attributes, times and size in one answer.
  FILE_NETWORK_OPEN_INFORMATION info;
};

std::uint64_t SizeOf(const FILE_NETWORK_OPEN_INFORMATION& info) {
  return static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
}

// The attributes of a source that its copy keeps; the rest (compression,
// encryption, sparseness, ...) belong to where a file is stored.
DWORD AttributesKeptOnCopy(DWORD source) {
  return source & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
}

// A named stream of the source and the same stream of the copy.
struct StreamPair {
  UniqueHandle in;
  UniqueHandle out;
  std::uint64_t size;
};

constexpr ULONG kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The streams of the open source, asked of its handle; empty when the file
// system cannot tell.
std::vector<std::uint64_t> StreamListing(HANDLE source) {
  // In 64-bit units, so that each entry is aligned as the system writes it.
  std::vector<std::uint64_t> buffer(64);
  while (!::GetFileInformationByHandleEx(
      source, FileStreamInfo, buffer.data(),
      static_cast<DWORD>(buffer.size() * sizeof(buffer[0])))) {
    if (::GetLastError() != ERROR_MORE_DATA || buffer.size() >= 8192) {
      return {};
    }
    buffer.resize(buffer.size() * 4);
  }
  return buffer;
}

// The named streams (such as the mark of a download) go along where both
// file systems hold them; a target that cannot hold one still gets the
// content. They are opened before the copy is marked for deletion, which
// would refuse them. A volume without named streams is not asked.
std::vector<StreamPair> OpenNamedStreams(const SourceFile& source,
                                         bool may_have, HANDLE copy) {
  std::vector<StreamPair> streams;
  if (!may_have) return streams;
  const std::vector<std::uint64_t> listing = StreamListing(source.handle);
  const auto* bytes = reinterpret_cast<const unsigned char*>(listing.data());
  std::size_t offset = 0;
  while (offset + sizeof(FILE_STREAM_INFO) <= listing.size() * 8) {
    const auto* stream =
        reinterpret_cast<const FILE_STREAM_INFO*>(bytes + offset);
    const std::wstring_view name(stream->StreamName,
                                 stream->StreamNameLength / sizeof(wchar_t));
    UniqueHandle in(INVALID_HANDLE_VALUE);
    UniqueHandle out(INVALID_HANDLE_VALUE);
    if (IsNamedDataStream(name) &&
        OpenRelative(source.handle, name, GENERIC_READ, kShareAll, FILE_OPEN,
                     FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, 0,
                     in) == ERROR_SUCCESS &&
        OpenRelative(copy, name, GENERIC_WRITE, 0, FILE_CREATE,
                     FILE_NON_DIRECTORY_FILE, 0, out) == ERROR_SUCCESS) {
      streams.push_back(
          {std::move(in), std::move(out),
           static_cast<std::uint64_t>(stream->StreamSize.QuadPart)});
    }
    if (stream->NextEntryOffset == 0) break;
    offset += stream->NextEntryOffset;
  }
  return streams;
}

// Copies the content: only the data of a sparse source, into a sparse copy,
// where both file systems can; every byte otherwise.
CopyStatus CopyMainContent(const SourceFile& source, HANDLE out,
                           const CopyOptions& options, DWORD& error) {
  const std::uint64_t size = SizeOf(source.info);
  if ((source.info.FileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0) {
    const auto ranges = AllocatedRanges(source.handle, size);
    DWORD ignored = 0;
    if (ranges && ::DeviceIoControl(out, FSCTL_SET_SPARSE, nullptr, 0, nullptr,
                                    0, &ignored, nullptr)) {
      const CopyStatus status =
          CopyRanges(source.handle, out, *ranges, options, error);
      if (status != CopyStatus::kCopied) return status;
      FILE_END_OF_FILE_INFO end{};
      end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
      if (::SetFileInformationByHandle(out, FileEndOfFileInfo, &end,
                                       sizeof(end))) {
        return status;
      }
      error = ::GetLastError();
      return CopyStatus::kSystemError;
    }
  }
  return CopyRanges(source.handle, out, {{0, size}}, options, error);
}

bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes =
      attributes == 0 ? DWORD{FILE_ATTRIBUTE_NORMAL} : attributes;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &basic,
                                      sizeof(basic)) != 0;
}

// Gives the complete copy the source's times and attributes.
// A replacement is on disk before its name changes, so that a power cut
// leaves the old file or the new one, never an empty one.
CopyResult Finish(const SourceFile& source, HANDLE out, bool durable) {
  // Read-only waits until the copy is published: it would block the
  // removal of a failed one.
  FILE_BASIC_INFO basic{};
  basic.LastAccessTime = source.info.LastAccessTime;
  basic.LastWriteTime = source.info.LastWriteTime;
  basic.FileAttributes = AttributesKeptOnCopy(source.info.FileAttributes) &
                         ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(out, FileBasicInfo, &basic,
                                    sizeof(basic))) {
    return SystemFailure(::GetLastError());
  }
  if (durable && !::FlushFileBuffers(out)) {
    return SystemFailure(::GetLastError());
  }
  return Failure(CopyStatus::kCopied);
}

// Fills the temporary file, then finishes it.
CopyResult Fill(const SourceFile& source, HANDLE out,
                std::vector<StreamPair>& streams, bool durable,
                const CopyOptions& options) {
  DWORD error = ERROR_SUCCESS;
  CopyStatus status = CopyMainContent(source, out, options, error);
  for (StreamPair& stream : streams) {
    if (status != CopyStatus::kCopied) break;
    // A stream that cannot be copied costs only itself.
    DWORD ignored = ERROR_SUCCESS;
    if (CopyRanges(stream.in.get(), stream.out.get(), {{0, stream.size}},
                   options, ignored) == CopyStatus::kStopped) {
      status = CopyStatus::kStopped;
    }
  }
  streams.clear();
  if (status == CopyStatus::kStopped) return Failure(status);
  if (status != CopyStatus::kCopied) return SystemFailure(error);
  return Finish(source, out, durable);
}

bool IsAlreadyThere(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Hidden while incomplete, so that people do not take it for a finished
// file. Made in the destination's folder by handle, so that it shares the
// folder's volume for the rename and no link can send it elsewhere.
UniqueHandle CreateTemporary(HANDLE folder, DWORD& error) {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const auto seed = static_cast<std::uint32_t>(counter.QuadPart);
  const TemporaryOwner owner = ThisProcess();
  UniqueHandle out(INVALID_HANDLE_VALUE);
  for (std::uint32_t attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = Utf8ToWide(TemporaryName(owner, seed + attempt));
    error = OpenRelative(folder, name,
                         GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES |
                             READ_CONTROL | WRITE_DAC,
                         0, FILE_CREATE,
                         FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY,
                         FILE_ATTRIBUTE_HIDDEN, out);
    if (!IsAlreadyThere(error)) break;
  }
  return out;
}

DWORD CALLBACK AskToStop(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER,
                         LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                         LPVOID data) {
  const auto& options = *static_cast<const CopyOptions*>(data);
  return options.stop_requested && options.stop_requested() ? PROGRESS_CANCEL
                                                            : PROGRESS_CONTINUE;
}

// The system's copy writes under a temporary name, by path; the result is
// then opened in the folder held, so that only a file standing there is
// published, and treated as the loop's temporary from then on.
CopyResult SystemCopy(const SourceFile& source, const FolderHandle& target,
                      const CopyOptions& options, bool durable,
                      UniqueHandle& out) {
  const HANDLE folder = HandleOfDescriptor(target.descriptor());
  // Wine cannot tell a path longer than 260 characters; the name the folder
  // was opened by serves then.
  std::wstring folder_path = FinalPathOfHandle(folder);
  if (folder_path.empty()) folder_path = ToNativePath(target.path()).native();
  while (folder_path.ends_with(L'\\')) folder_path.pop_back();
  std::wstring written;
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  const auto seed = static_cast<std::uint32_t>(counter.QuadPart);
  const TemporaryOwner owner = ThisProcess();
  std::wstring name;
  DWORD error = ERROR_FILE_EXISTS;
  for (std::uint32_t attempt = 0; attempt < 100 && IsAlreadyThere(error);
       ++attempt) {
    name = Utf8ToWide(TemporaryName(owner, seed + attempt));
    written = folder_path + L"\\" + name;
    error = ::CopyFileExW(source.path.c_str(), written.c_str(), AskToStop,
                          const_cast<CopyOptions*>(&options), nullptr,
                          COPY_FILE_FAIL_IF_EXISTS)
                ? ERROR_SUCCESS
                : ::GetLastError();
  }
  if (error == ERROR_REQUEST_ABORTED) return Failure(CopyStatus::kStopped);
  if (error != ERROR_SUCCESS) return SystemFailure(error);
  // It has the source's attributes, and read-only would refuse the writing
  // and the deletion that follow.
  UniqueHandle first(INVALID_HANDLE_VALUE);
  error = OpenRelative(
      folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, 0, first);
  if (error != ERROR_SUCCESS) {
    // The path led elsewhere than the folder held: the copy is not wanted
    // there either.
    ::DeleteFileW(written.c_str());
    return SystemFailure(error);
  }
  if (!SetAttributes(first.get(),
                     (AttributesKeptOnCopy(source.info.FileAttributes) &
                      ~DWORD{FILE_ATTRIBUTE_READONLY}) |
                         FILE_ATTRIBUTE_HIDDEN)) {
    error = ::GetLastError();
  } else {
    error =
        OpenRelative(folder, name,
                     GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES |
                         READ_CONTROL | WRITE_DAC,
                     FILE_SHARE_DELETE, FILE_OPEN,
                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, 0, out);
  }
  if (error == ERROR_SUCCESS && !SetDeleteOnClose(out.get(), true)) {
    error = ::GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    SetDeleteOnClose(first.get(), true);
    return SystemFailure(error);
  }
  first.Close();
  return Finish(source, out.get(), durable);
}

// Opens the source for reading in its folder, which spares the walk along
// its path; a status other than kCopied says why not. Whatever opens in a
// folder on a volume as a file is a disk file.
CopyResult OpenSource(HANDLE folder, std::string_view name, SourceFile& source,
                      UniqueHandle& in) {
  DWORD error =
      OpenRelative(folder, Utf8ToWide(name), GENERIC_READ, kShareAll, FILE_OPEN,
                   FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, 0, in);
  if (error != ERROR_SUCCESS) {
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
  IO_STATUS_BLOCK status{};
  const NTSTATUS result =
      ::NtQueryInformationFile(in.get(), &status, &source.info,
                               sizeof(source.info), FileNetworkOpenInformation);
  if (!NT_SUCCESS(result))
    return SystemFailure(::RtlNtStatusToDosError(result));
  return Failure(CopyStatus::kCopied);
}

DWORD AttributesOf(HANDLE file) {
  FILE_BASIC_INFO basic{};
  return ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic,
                                        sizeof(basic))
             ? basic.FileAttributes
             : INVALID_FILE_ATTRIBUTES;
}

// Read-only before the name, so that the copy is complete the moment it
// appears.
DWORD MarkReadOnly(HANDLE file) {
  const DWORD attributes = AttributesOf(file);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !SetAttributes(file, attributes | FILE_ATTRIBUTE_READONLY)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

// A rename over a file drops the rules set on it by hand, so the copy takes
// them first. A name that is free or cannot be read has none to give.
DWORD TakeRulesOfReplaced(HANDLE folder, const std::wstring& name,
                          HANDLE copy) {
  UniqueHandle old(INVALID_HANDLE_VALUE);
  if (OpenRelative(folder, name, READ_CONTROL,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT,
                   0, old) != ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  return CarryExplicitRules(old.get(), copy);
}

// Copies through this program's own loop into a temporary that is marked
// for deletion from the start.
CopyResult OwnCopy(const SourceFile& source, bool may_have_streams,
                   HANDLE folder, const CopyOptions& options, bool durable,
                   UniqueHandle& out) {
  DWORD error = ERROR_SUCCESS;
  out = CreateTemporary(folder, error);
  if (!out.valid()) return SystemFailure(error);
  std::vector<StreamPair> streams =
      OpenNamedStreams(source, may_have_streams, out.get());
  if (!SetDeleteOnClose(out.get(), true)) {
    const DWORD refused = ::GetLastError();
    return SystemFailure(refused);
  }
  return Fill(source, out.get(), streams, durable, options);
}

// The facts of a folder opened elsewhere than by this layer are asked anew.
VolumeTraits VolumeOf(const FolderHandle& folder, HANDLE handle) {
  return (folder.facts() != nullptr ? *folder.facts() : *FolderFacts::New())
      .Volume(handle);
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
    : descriptor_(std::exchange(other.descriptor_, -1)),
      folder_descriptor_(other.folder_descriptor_),
      read_only_(other.read_only_),
      identify_(other.identify_),
      folder_facts_(other.folder_facts_) {}

StagedCopy& StagedCopy::operator=(StagedCopy&& other) noexcept {
  if (this != &other) {
    Discard();
    descriptor_ = std::exchange(other.descriptor_, -1);
    folder_descriptor_ = other.folder_descriptor_;
    read_only_ = other.read_only_;
    identify_ = other.identify_;
    folder_facts_ = other.folder_facts_;
  }
  return *this;
}

// The temporary is marked for deletion from its making until it is
// published, so closing it removes it.
void StagedCopy::Discard() {
  const HANDLE file = HandleOfDescriptor(std::exchange(descriptor_, -1));
  if (file == INVALID_HANDLE_VALUE) return;
  SetDeleteOnClose(file, true);
  ::CloseHandle(file);
}

CopyResult StageCopy(const FolderHandle& source_folder, std::string_view name,
                     const FolderHandle& target_folder, bool replacing,
                     const CopyOptions& options, StagedCopy& staged) {
  staged.Discard();
  const HANDLE from = HandleOfDescriptor(source_folder.descriptor());
  const HANDLE folder = HandleOfDescriptor(target_folder.descriptor());
  if (from == INVALID_HANDLE_VALUE || folder == INVALID_HANDLE_VALUE) {
    return SystemFailure(ERROR_INVALID_HANDLE);
  }
  SourceFile source{
      ToNativePath(source_folder.path() + std::string(name)).native(),
      INVALID_HANDLE_VALUE,
      {}};
  UniqueHandle in(INVALID_HANDLE_VALUE);
  const CopyResult opened = OpenSource(from, name, source, in);
  if (opened.status != CopyStatus::kCopied) return opened;
  const VolumeTraits from_volume = VolumeOf(source_folder, from);
  UniqueHandle out(INVALID_HANDLE_VALUE);
  const CopyResult result =
      CopyRouteFor(from_volume.volume, VolumeOf(target_folder, folder).volume,
                   SizeOf(source.info)) == CopyRoute::kSystem
          ? SystemCopy(source, target_folder, options, replacing, out)
          : OwnCopy(source, from_volume.named_streams, folder, options,
                    replacing, out);
  if (!result.Succeeded()) return result;
  staged.descriptor_ = DescriptorOfHandle(out.Release());
  staged.folder_descriptor_ = target_folder.descriptor();
  staged.read_only_ =
      (source.info.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  staged.identify_ = options.identify;
  staged.folder_facts_ = target_folder.facts();
  return result;
}

CopyResult PublishCopy(StagedCopy& staged, std::string_view new_name,
                       bool replace, bool& taken, FinishedFiles* /*finished*/) {
  taken = false;
  const HANDLE file = HandleOfDescriptor(staged.descriptor_);
  const HANDLE folder = HandleOfDescriptor(staged.folder_descriptor_);
  const std::wstring name = Utf8ToWide(new_name);
  DWORD error =
      replace ? TakeRulesOfReplaced(folder, name, file) : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return SystemFailure(error);
  if (!SetDeleteOnClose(file, false)) return SystemFailure(::GetLastError());
  error = staged.read_only_ ? MarkReadOnly(file) : ERROR_SUCCESS;
  if (error == ERROR_SUCCESS) {
    error = RetryPassingRefusals(
        [&] { return RenameOpenFile(file, folder, name, replace); },
        [](DWORD milliseconds) { ::Sleep(milliseconds); });
  }
  if (error != ERROR_SUCCESS) {
    // Stays staged, and so marked for deletion again.
    if (staged.read_only_) {
      SetAttributes(file, AttributesOf(file) & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    SetDeleteOnClose(file, true);
    taken = !replace && IsAlreadyThere(error);
    return SystemFailure(error);
  }
  // Taken under the final name: on FAT32 and exFAT an index is the place of
  // the name, which the rename moved.
  FileIdentity published;
  if (staged.identify_) {
    published = staged.folder_facts_ != nullptr
                    ? IdentityIn(*staged.folder_facts_, folder, file, name)
                    : IdentityOfHandle(file);
  }
  ::CloseHandle(HandleOfDescriptor(std::exchange(staged.descriptor_, -1)));
  return CopyResult::Of(CopyStatus::kCopied, published);
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
  const auto [source_path, name] = split(source);
  const auto [target_path, new_name] = split(destination);
  const OpenedFolder source_folder = OpenFolder(source_path);
  if (!source_folder.folder.valid()) {
    return Failure(CopyStatus::kSourceMissing);
  }
  const OpenedFolder target_folder = OpenFolder(target_path);
  if (!target_folder.folder.valid()) {
    return CopyResult{
        CopyStatus::kSystemError, target_folder.system_error, 0, {}};
  }
  return CopyFileAt(source_folder.folder, name, target_folder.folder, new_name,
                    options);
}

}  // namespace batchext
