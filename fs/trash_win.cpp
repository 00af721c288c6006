#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fs/native_path.h"
#include "fs/trash.h"
#include "fs/win_handles.h"
#include "fs/win_recycle_bin.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

// Seconds between 1601 and 1970, in FILETIME's units.
constexpr std::uint64_t kUnixEpoch = 116444736000000000;

bool IsAlreadyThere(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::uint64_t Now() {
  FILETIME now{};
  ::GetSystemTimePreciseAsFileTime(&now);
  return (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

// Local time as the journal writes it, so that the two compare as text.
std::string LocalText(std::uint64_t file_time) {
  const auto seconds = static_cast<std::time_t>(
      file_time > kUnixEpoch ? (file_time - kUnixEpoch) / 10000000 : 0);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S",
                std::localtime(&seconds));
  return text;
}

// A path as the Recycle Bin records it: without the long-path prefix.
std::wstring PlainPath(const std::string& path) {
  return Utf8ToWide(FromNativePath(ToNativePath(path)));
}

std::wstring UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return {};
  }
  std::vector<unsigned char> buffer(256);
  DWORD needed = 0;
  BOOL got = ::GetTokenInformation(token, TokenUser, buffer.data(),
                                   static_cast<DWORD>(buffer.size()), &needed);
  if (!got && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(needed);
    got =
        ::GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed);
  }
  ::CloseHandle(token);
  wchar_t* text = nullptr;
  if (!got ||
      !::ConvertSidToStringSidW(
          reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    return {};
  }
  std::wstring sid = text;
  ::LocalFree(text);
  return sid;
}

// What Explorer writes into a user's bin folder so that it shows as the
// Recycle Bin.
constexpr wchar_t kDesktopIni[] =
    L"\xFEFF\r\n[.ShellClassInfo]\r\n"
    L"CLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n"
    L"LocalizedResourceName=@%SystemRoot%\\system32\\shell32.dll,-8964\r\n";

void WriteDesktopIni(const std::wstring& folder) {
  const std::wstring path = folder + L"\\desktop.ini";
  UniqueHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, nullptr));
  if (!file.valid()) return;
  DWORD written = 0;
  ::WriteFile(file.get(), kDesktopIni, sizeof kDesktopIni - sizeof(wchar_t),
              &written, nullptr);
}

// Makes the folder as the shell makes its own, hidden and system, unless it
// is there; false with the error set otherwise.
bool MakeBinFolder(const std::wstring& path, SECURITY_ATTRIBUTES* security,
                   bool& made) {
  made = ::CreateDirectoryW(path.c_str(), security) != 0;
  if (!made && !IsAlreadyThere(::GetLastError())) return false;
  if (made) {
    ::SetFileAttributesW(path.c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }
  return true;
}

// The user's folder of the bin at the volume root `root`, made if missing:
// for this user, the system and the administrators only, as Windows has it.
DWORD MakeUserBin(const std::wstring& root, const std::wstring& sid,
                  std::wstring& bin) {
  bool made = false;
  if (!MakeBinFolder(root + L"$Recycle.Bin", nullptr, made)) {
    return ::GetLastError();
  }
  bin = root + L"$Recycle.Bin\\" + sid;
  const std::wstring rights =
      L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + L")";
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          rights.c_str(), SDDL_REVISION_1, &security.lpSecurityDescriptor,
          nullptr)) {
    return ::GetLastError();
  }
  const bool ok = MakeBinFolder(bin, &security, made);
  const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
  ::LocalFree(security.lpSecurityDescriptor);
  if (made) WriteDesktopIni(bin);
  return error;
}

// Six letters or digits, as Windows names its entries.
std::wstring NewId(std::mt19937& random) {
  static constexpr wchar_t kChars[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::uniform_int_distribution<int> pick(0, 35);
  std::wstring id;
  for (int i = 0; i < 6; ++i) id.push_back(kChars[pick(random)]);
  return id;
}

// The extension the bin's entries keep, so that Explorer shows the icon.
std::wstring ExtensionOf(std::wstring_view name) {
  const auto dot = name.find_last_of(L'.');
  return dot == std::wstring_view::npos || dot == 0
             ? std::wstring()
             : std::wstring(name.substr(dot));
}

std::string ReadSmallFile(const std::wstring& path) {
  UniqueHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(64 << 10, '\0');
  DWORD read = 0;
  if (!file.valid() ||
      !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                  &read, nullptr)) {
    return {};
  }
  bytes.resize(read);
  return bytes;
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

struct Trash::Can {
  // The volume's root as the system names it ("C:\").
  std::wstring root;
  // The user's folder of the volume's bin, and the folder open.
  std::wstring bin;
  UniqueHandle folder{INVALID_HANDLE_VALUE};
  // Why nothing can be kept on this volume.
  std::string error;
  std::mt19937 random{std::random_device{}()};
  // Once read: each record's path, deletion time and entry.
  std::optional<std::vector<std::pair<RecycleRecord, std::wstring>>> records;

  // Removable and network volumes have no bin on Windows: what is deleted
  // there is gone.
  DWORD Open() {
    const UINT type = ::GetDriveTypeW(root.c_str());
    if (type != DRIVE_FIXED || root.starts_with(L"\\\\")) {
      return ERROR_NOT_SUPPORTED;
    }
    // FAT32 and exFAT hold no second names (the flag that would say so is
    // not reported everywhere), and folders made there would serve nothing.
    wchar_t file_system[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr,
                                nullptr, file_system, ARRAYSIZE(file_system)) &&
        (std::wstring_view(file_system).starts_with(L"FAT") ||
         std::wstring_view(file_system) == L"exFAT")) {
      return ERROR_NOT_SUPPORTED;
    }
    const std::wstring sid = UserSid();
    if (sid.empty()) return ERROR_ACCESS_DENIED;
    if (const DWORD made = MakeUserBin(root, sid, bin); made != 0) return made;
    folder = UniqueHandle(::CreateFileW(
        bin.c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.valid()) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    // A link planted in its place would send the files elsewhere.
    if (!::GetFileInformationByHandle(folder.get(), &info)) {
      return ::GetLastError();
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
  }

  void ReadRecords() {
    records.emplace();
    WIN32_FIND_DATAW entry{};
    const HANDLE find =
        ::FindFirstFileExW((bin + L"\\$I*").c_str(), FindExInfoBasic, &entry,
                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      const std::wstring name = entry.cFileName;
      auto record = DecodeRecycleRecord(ReadSmallFile(bin + L"\\" + name));
      if (record) {
        records->emplace_back(std::move(*record),
                              bin + L"\\$R" + name.substr(2));
      }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
  }
};

bool Trash::Supported() { return true; }

Trash::Trash() = default;

Trash::~Trash() = default;

Trash::Can& Trash::CanFor(std::uint64_t, const std::string& path) {
  wchar_t root[MAX_PATH + 1] = {};
  const std::wstring plain = PlainPath(path);
  const bool found =
      ::GetVolumePathNameW(plain.c_str(), root, ARRAYSIZE(root)) != 0;
  // A path whose volume cannot be told shares the can of no volume.
  for (const auto& can : cans_) {
    if (SamePath(can->root, root)) return *can;
  }
  auto can = std::make_unique<Can>();
  can->root = root;
  const DWORD error = found ? can->Open() : ::GetLastError();
  if (error != ERROR_SUCCESS) can->error = SystemErrorText(error);
  cans_.push_back(std::move(can));
  return *cans_.back();
}

// The old file gets a second name in the bin, by its handle so that no link
// on the way can redirect it, and keeps its own until the copy replaces it.
std::string Trash::Keep(const FolderHandle& folder, std::string_view name,
                        const std::string& path, std::string& why_not) {
  std::lock_guard lock(mutex_);
  const std::wstring wide_name = Utf8ToWide(name);
  UniqueHandle old(INVALID_HANDLE_VALUE);
  DWORD error = OpenRelative(
      HandleOfDescriptor(folder.descriptor()), wide_name, FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
      FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, 0, old);
  BY_HANDLE_FILE_INFORMATION info{};
  if (error == ERROR_SUCCESS &&
      !::GetFileInformationByHandle(old.get(), &info)) {
    error = ::GetLastError();
  }
  if (error != ERROR_SUCCESS) {
    why_not = SystemErrorText(error);
    return {};
  }
  Can& can = CanFor(0, path);
  if (!can.error.empty()) {
    why_not = can.error;
    return {};
  }
  const std::string record = EncodeRecycleRecord(
      {(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow, Now(),
       PlainPath(path)});
  const std::wstring extension = ExtensionOf(wide_name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring id = NewId(can.random) + extension;
    // The record comes first: its name, taken exclusively, reserves the
    // entry's.
    UniqueHandle out(INVALID_HANDLE_VALUE);
    error = OpenRelative(can.folder.get(), L"$I" + id, GENERIC_WRITE | DELETE,
                         0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, 0, out);
    if (IsAlreadyThere(error)) continue;
    if (error != ERROR_SUCCESS) break;
    DWORD written = 0;
    if (!::WriteFile(out.get(), record.data(),
                     static_cast<DWORD>(record.size()), &written, nullptr) ||
        written != record.size()) {
      error = ::GetLastError();
      SetDeleteOnClose(out.get(), true);
      break;
    }
    error = LinkOpenFile(old.get(), can.folder.get(), L"$R" + id);
    if (error == ERROR_SUCCESS) return WideToUtf8(can.bin + L"\\$R" + id);
    SetDeleteOnClose(out.get(), true);
    if (!IsAlreadyThere(error)) break;
  }
  why_not = SystemErrorText(error);
  return {};
}

std::vector<std::string> Trash::KeptFor(const std::string& path,
                                        const std::string& since) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> kept;
  Can& can = CanFor(0, path);
  if (!can.error.empty()) return kept;
  if (!can.records) can.ReadRecords();
  const std::wstring recorded = PlainPath(path);
  std::vector<std::pair<std::uint64_t, std::wstring>> found;
  for (const auto& [record, entry] : *can.records) {
    if (SamePath(record.path, recorded) && LocalText(record.deleted) >= since) {
      found.emplace_back(record.deleted, entry);
    }
  }
  std::sort(found.begin(), found.end());
  for (const auto& [deleted, entry] : found) kept.push_back(WideToUtf8(entry));
  return kept;
}

bool RestoreFromTrash(const std::string& kept, const std::string& path,
                      std::string& error) {
  const std::wstring entry = ToNativePath(kept).native();
  if (!::MoveFileExW(entry.c_str(), ToNativePath(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
    error = SystemErrorText(::GetLastError());
    return false;
  }
  ::DeleteFileW(RecordNameOf(entry).c_str());
  return true;
}

void ForgetInTrash(const std::string& kept) {
  const std::wstring entry = ToNativePath(kept).native();
  ::DeleteFileW(entry.c_str());
  ::DeleteFileW(RecordNameOf(entry).c_str());
}

}  // namespace batchext
