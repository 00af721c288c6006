#pragma once

#include <cstddef>

namespace batchext::win32 {

// Each control's id is its place in FormControls() plus this, so that a
// program outside can tell the controls apart; it stays clear of IDOK and
// IDCANCEL, which Enter and Esc send.
inline constexpr int kFirstControlId = 1000;

constexpr int ControlId(std::size_t index) {
  return kFirstControlId + static_cast<int>(index);
}

// Class names and the Cancel button's id, by which the windows and the
// button can be found.
inline constexpr wchar_t kFrmMainClass[] = L"BatchextFrmMain";
inline constexpr wchar_t kProgressClass[] = L"BatchextProgress";
inline constexpr int kProgressCancelId = 100;

// The preview's window and its controls; "关闭" is IDCANCEL, as Esc sends.
inline constexpr wchar_t kPreviewClass[] = L"BatchextPreview";
inline constexpr int kPreviewCountsId = 110;
inline constexpr int kPreviewListId = 111;
inline constexpr int kPreviewStartId = 112;

}  // namespace batchext::win32
