#pragma once

#include <windows.h>

#include <vector>

namespace batchext {

// Gives `to` the access rules that were set on `from` by hand, followed by
// those `to` inherits where it stands; a list protected from inheritance
// goes whole. Nothing changes where `from` has no rules of its own or they
// cannot be read. (A replacement made by a rename would drop them.)
DWORD CarryExplicitRules(HANDLE from, HANDLE to);

}  // namespace batchext
