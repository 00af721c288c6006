#include "ui/win32/folder_drop.h"

#include "ui/win32/folder_picker.h"

namespace batchext::win32 {

std::string DroppedFolder(HDROP drop) {
  if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 1) return {};
  std::wstring path(::DragQueryFileW(drop, 0, nullptr, 0), L'\0');
  if (path.empty()) return {};
  ::DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size()) + 1);
  return FullFolderPath(path);
}

}  // namespace batchext::win32
