#pragma once

#include <string>
#include <string_view>

namespace batchext::win32 {

// The window keeps its text as UTF-8, the Win32 calls take UTF-16.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace batchext::win32
