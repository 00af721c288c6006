#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace batchext {

// The platform path for a UTF-8 path of the interfaces.
std::filesystem::path ToNativePath(std::string_view utf8_path);

// The UTF-8 text of a platform path.
std::string FromNativePath(const std::filesystem::path& path);

// Length of the leading part of the path that names a root and can never be
// made: "/" on POSIX; a drive or a share on Windows. 0 for a relative path.
std::size_t RootLength(std::string_view path);

// True when a folder (or a link to one) stands at the platform path.
bool IsFolderAt(const std::filesystem::path& path);

// Makes one folder whose parent exists. True when a folder stands there
// afterwards, made by this call or not; otherwise LastErrorText() says why.
bool MakeFolderAt(const std::filesystem::path& path);

// The platform's words for why the last call that failed here failed.
std::string LastErrorText();

// True when MakeFolderAt would make the folder: nothing stands at the path
// and, where the platform says so beforehand, its parent takes new entries.
bool CouldMakeFolderAt(const std::filesystem::path& path);

}  // namespace batchext
