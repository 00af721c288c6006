#pragma once

#include <string>
#include <string_view>

namespace batchext {

// A name as a line of output shows it: as it is, unless it holds a control
// character or bytes that are no UTF-8, which could break the line or drive
// the terminal that shows it. Such a name is quoted the way a POSIX shell
// reads it back, e.g. $'a\nb', with every other such byte in octal.
std::string ShownPath(std::string_view path);

}  // namespace batchext
