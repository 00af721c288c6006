#pragma once

#include <string>

namespace batchext {

// The folder where this program keeps what it remembers for the user
// between runs; "" where the environment names none.
std::string StateFolder();

#ifndef _WIN32
// A folder of the user's that the XDG base directories name: the value of
// `variable` where it is absolute, otherwise `below_home` under $HOME; ""
// where neither is known.
std::string UserFolder(const char* variable, const char* below_home);
#endif

}  // namespace batchext
