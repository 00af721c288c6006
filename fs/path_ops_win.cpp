#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fs/native_path.h"
#include "fs/path_ops.h"
#include "fs/text_case.h"
#include "fs/win_support.h"

namespace batchext {
namespace {

constexpr std::wstring_view kLiteralPrefix = L"\\\\?\\";

bool IsDriveLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// An absolute path cut into its root in the long-path syntax ("\\?\C:" or
// "\\?\UNC\server\share") and the rest.
struct AbsolutePath {
  std::wstring root;
  std::wstring_view rest;
};

// Splits "server\share\rest" after a share's leading separators.
std::optional<AbsolutePath> SplitShare(std::wstring_view path) {
  const auto server_end = path.find(L'\\');
  if (server_end == std::wstring_view::npos || server_end == 0) {
    return std::nullopt;
  }
  auto share_end = path.find(L'\\', server_end + 1);
  if (share_end == server_end + 1) return std::nullopt;
  if (share_end == std::wstring_view::npos) share_end = path.size();
  return AbsolutePath{std::wstring(kLiteralPrefix) + L"UNC\\" +
                          std::wstring(path.substr(0, share_end)),
                      path.substr(share_end)};
}

// Expects "\" separators only.
std::optional<AbsolutePath> SplitAbsolute(std::wstring_view path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' &&
      path[2] == L'\\') {
    return AbsolutePath{std::wstring(kLiteralPrefix) + path[0] + L':',
                        path.substr(2)};
  }
  if (path.size() < 2 || path[0] != L'\\' || path[1] != L'\\') {
    return std::nullopt;
  }
  return SplitShare(path.substr(2));
}

std::wstring CurrentFolder() {
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

// The system's full form of a path, with all of its rewrites.
std::wstring SystemFullPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length =
      ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full;
}

// Resolves "." and ".." the way Windows does, without the system's other
// rewrites: the long-path syntax keeps trailing dots and spaces, and names
// such as "con", as the plain names they are.
std::wstring Resolve(const AbsolutePath& path) {
  std::vector<std::wstring_view> names;
  std::size_t start = 0;
  while (start <= path.rest.size()) {
    auto end = path.rest.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.rest.size();
    const std::wstring_view name = path.rest.substr(start, end - start);
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != L".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  std::wstring result = path.root;
  for (const std::wstring_view name : names) {
    result += L'\\';
    result += name;
  }
  // A root is only a root with its separator.
  if (names.empty()) result += L'\\';
  return result;
}

// "\\.\" and "//?/" open device paths that the system still resolves;
// only "\\?\" written exactly is taken as it stands.
std::optional<AbsolutePath> SplitDevicePath(std::wstring_view path) {
  if (path.size() < 4 || path[0] != L'\\' || path[1] != L'\\' ||
      (path[2] != L'.' && path[2] != L'?') || path[3] != L'\\') {
    return std::nullopt;
  }
  const std::wstring_view tail = path.substr(4);
  if (tail.size() >= 4 && (tail[0] | 0x20) == L'u' &&
      (tail[1] | 0x20) == L'n' && (tail[2] | 0x20) == L'c' &&
      tail[3] == L'\\') {
    return SplitShare(tail.substr(4));
  }
  const std::size_t end = std::min(tail.find(L'\\'), tail.size());
  return AbsolutePath{
      std::wstring(kLiteralPrefix) + std::wstring(tail.substr(0, end)),
      path.substr(4 + end)};
}

std::wstring LongPathForm(std::wstring path) {
  if (path.starts_with(kLiteralPrefix)) return path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (const auto device = SplitDevicePath(path)) return Resolve(*device);
  if (const auto absolute = SplitAbsolute(path)) return Resolve(*absolute);
  // A server without a share names nothing that can be opened.
  if (path.starts_with(L"\\\\")) return path;

  std::wstring full;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
    // Only the system knows the current folder of another drive; asked for
    // the drive alone, it cannot read the rest as a device.
    full = SystemFullPath(path.substr(0, 2)) + L'\\' + path.substr(2);
  } else {
    const std::wstring current = CurrentFolder();
    const auto current_root = SplitAbsolute(current);
    if (!current_root) return path;
    if (path.front() == L'\\') {
      // Rooted: on the current folder's drive or share.
      full =
          current.substr(0, current.size() - current_root->rest.size()) + path;
    } else {
      full = current + L'\\' + path;
    }
  }
  const auto absolute = SplitAbsolute(full);
  return absolute ? Resolve(*absolute) : path;
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Length of "server\share\" at the start of the text.
std::size_t ShareLength(std::string_view text) {
  const auto server_end = text.find_first_of("\\/");
  if (server_end == std::string_view::npos) return text.size();
  const auto share_end = text.find_first_of("\\/", server_end + 1);
  return share_end == std::string_view::npos ? text.size() : share_end + 1;
}

}  // namespace

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char PreferredSeparator() { return '\\'; }

// The text ends a name, so the rules for a name's end apply to it whole.
bool IsValidFileNamePart(std::string_view text) {
  return CanEndFileName(Utf8ToWide(text));
}

std::filesystem::path ToNativePath(std::string_view utf8_path) {
  if (utf8_path.empty()) return {};
  // The long-path syntax lifts the limit of 260 characters.
  return std::filesystem::path(LongPathForm(Utf8ToWide(utf8_path)));
}

std::string FromNativePath(const std::filesystem::path& path) {
  std::wstring_view text = path.native();
  if (text.starts_with(L"\\\\?\\UNC\\")) {
    return "\\\\" + WideToUtf8(text.substr(8));
  }
  if (text.starts_with(kLiteralPrefix) && text.size() >= 6 &&
      IsDriveLetter(text[4]) && text[5] == L':') {
    text.remove_prefix(4);
  }
  return WideToUtf8(text);
}

std::size_t RootLength(std::string_view path) {
  const std::size_t n = path.size();
  if (n >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
    const std::string_view rest = path.substr(4);
    if (rest.size() >= 4 && (rest[0] == 'U' || rest[0] == 'u') &&
        (rest[1] == 'N' || rest[1] == 'n') &&
        (rest[2] == 'C' || rest[2] == 'c') && IsSeparator(rest[3])) {
      return 8 + ShareLength(rest.substr(4));
    }
    // A drive ("C:\") or a volume ("Volume{...}\").
    const auto end = rest.find_first_of("\\/");
    return end == std::string_view::npos ? n : 4 + end + 1;
  }
  if (n >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return 2 + ShareLength(path.substr(2));
  }
  if (n >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
    return n >= 3 && IsSeparator(path[2]) ? 3 : 2;
  }
  return n >= 1 && IsSeparator(path[0]) ? 1 : 0;
}

bool IsFolderAt(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  // A link answers for itself; only opening it shows that its target is
  // there.
  const UniqueHandle handle = OpenForQuery(path.c_str());
  BY_HANDLE_FILE_INFORMATION info{};
  return handle.valid() && ::GetFileInformationByHandle(handle.get(), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Folder rights are not worth predicting here; what stands at the path is.
bool CouldMakeFolderAt(const std::filesystem::path& path) {
  return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string ComparablePath(std::string_view path) { return ToLowerCase(path); }

bool MakeFolderAt(const std::filesystem::path& path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD error = ::GetLastError();
  // Another process may have made it meanwhile.
  if (IsFolderAt(path)) return true;
  ::SetLastError(error);
  return false;
}

std::string LastErrorText() { return SystemErrorText(::GetLastError()); }

bool IsAllowedName(std::string_view name) {
  return IsAllowedFileName(Utf8ToWide(name));
}

std::string TypedFolderPath(std::string_view typed) {
  const std::wstring trimmed = Utf8ToWide(TrimSpaces(typed));
  // The system takes the literal form as it stands, and so do we.
  if (trimmed.empty() || trimmed.starts_with(kLiteralPrefix)) {
    return WideToUtf8(trimmed);
  }
  const std::wstring full = SystemFullPath(trimmed);
  return WideToUtf8(full.empty() ? trimmed : full);
}

}  // namespace batchext
