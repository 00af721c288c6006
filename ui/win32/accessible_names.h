#pragma once

#include <windows.h>
// oleacc.h needs windows.h first.
#include <oleacc.h>

#include <functional>
#include <string>

namespace batchext::win32 {

// What a screen reader is told of a control, in place of what the system
// would make of its class and text. Empty fields keep the system's answer.
struct HeardAs {
  std::wstring name;
  std::wstring description;
  long role = 0;
  // The name of the default action and what it does.
  std::wstring action;
  std::function<void()> press;
};

// The object a screen reader gets for `control`: the system's, with the
// answers of `heard` in place of its own. The caller owns one reference.
IAccessible* NewAccessible(HWND control, HeardAs heard);

// From now on, `control` answers screen readers with what `heard` says at
// the time of asking; what `heard` refers to must live as long as the
// control.
void Announce(HWND control, std::function<HeardAs()> heard);

}  // namespace batchext::win32
