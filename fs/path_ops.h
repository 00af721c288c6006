#pragma once

#include <string>
#include <string_view>

namespace batchext {

// True for the characters this platform reads as a folder separator: "/"
// everywhere, and "\" on Windows too.
bool IsSeparator(char c);

// The platform's preferred separator.
char PreferredSeparator();

// The text without leading and trailing blanks (U+0020 only).
std::string_view TrimSpaces(std::string_view text);

// The path without leading and trailing spaces, ending in a separator.
std::string AddTrailingSlash(std::string_view path);

// Makes each missing level of a folder path from the root down. True when
// every level exists or was made; false otherwise, keeping what was made.
// In preview nothing is made, and the answer is whether it could be.
bool CreateFolderPath(std::string_view path, bool preview = false);

// True when the text can stand inside one file name on this platform: no
// separator of any platform and nothing the platform forbids in names.
bool IsValidFileNamePart(std::string_view text);

// True when a file may bear this name here: Windows reads some names as a
// device or a stream, or forbids characters in them.
bool IsAllowedName(std::string_view name);

// A folder path as a person typed or picked it, read the way the system
// reads such a path: without spaces at both ends, and on Windows made full
// as the system makes a typed path full. Names from listings never pass
// through here.
std::string TypedFolderPath(std::string_view typed);

// The path in the form in which this platform compares names: folded to
// lower case on Windows, whose names ignore case; as it is on POSIX.
std::string ComparablePath(std::string_view path);

// True when a folder (or a link to one) exists at the path.
bool FolderExists(std::string_view path);

}  // namespace batchext
