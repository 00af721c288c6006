// What a screen reader is told of a control. Wine offers no cross-process
// MSAA, so the object is asked here, in the process that makes it.

#include "ui/win32/accessible_names.h"

#include <gtest/gtest.h>

#include <string>

namespace batchext::win32 {
namespace {

struct Told {
  std::wstring name, description, action;
  long role = 0;
  long state = 0;
};

Told Ask(IAccessible& face) {
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  const auto text = [&](auto ask) {
    BSTR answer = nullptr;
    std::wstring text =
        SUCCEEDED((face.*ask)(self, &answer)) && answer ? answer : L"";
    ::SysFreeString(answer);
    return text;
  };
  Told told{text(&IAccessible::get_accName),
            text(&IAccessible::get_accDescription),
            text(&IAccessible::get_accDefaultAction), 0, 0};
  VARIANT value{};
  if (SUCCEEDED(face.get_accRole(self, &value))) told.role = value.lVal;
  if (SUCCEEDED(face.get_accState(self, &value))) told.state = value.lVal;
  return told;
}

TEST(AccessibleNamesTest, ControlsAreToldAsSeenAndLinksPressed) {
  const HWND parent =
      ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 200, 100,
                        nullptr, nullptr, nullptr, nullptr);
  const HWND button = ::CreateWindowExW(0, L"BUTTON", L"…", WS_CHILD, 0, 0, 20,
                                        20, parent, nullptr, nullptr, nullptr);
  const HWND link =
      ::CreateWindowExW(0, L"STATIC", L"联系我们", WS_CHILD, 0, 30, 80, 20,
                        parent, nullptr, nullptr, nullptr);
  int presses = 0;
  IAccessible* named =
      NewAccessible(button, {L"选择来源文件夹", L"C:\\照片", 0, L"", nullptr});
  const Told told = Ask(*named);
  EXPECT_EQ(told.name, L"选择来源文件夹");
  EXPECT_EQ(told.description, L"C:\\照片");
  named->Release();

  IAccessible* linked = NewAccessible(
      link, {L"", L"", ROLE_SYSTEM_LINK, L"跳转", [&] { ++presses; }});
  const Told link_told = Ask(*linked);
  // What is not given stays the control's own.
  EXPECT_EQ(link_told.name, L"联系我们");
  EXPECT_EQ(link_told.role, ROLE_SYSTEM_LINK);
  EXPECT_NE(link_told.state & STATE_SYSTEM_LINKED, 0);
  EXPECT_EQ(link_told.action, L"跳转");
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  EXPECT_EQ(linked->accDoDefaultAction(self), S_OK);
  EXPECT_EQ(presses, 1);
  linked->Release();
  ::DestroyWindow(parent);
}

}  // namespace
}  // namespace batchext::win32
