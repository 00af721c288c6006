#include "ui/win32/folder_picker.h"

#include <windows.h>
// shlobj.h needs windows.h first.
#include <shlobj.h>

#include <exception>
#include <memory>

#include "fs/win_support.h"
#include "ui/form/show_message.h"
#include "ui/win32/message_box.h"

namespace batchext::win32 {
namespace {

// The greeting and the prompt are joined by a lone carriage return.
constexpr wchar_t kInstruction[] = L"Norvane工作室欢迎您！\r请选择一个文件夹：";

// Long enough for any path the file system can hold, so that a path past
// MAX_PATH is answered whole rather than cut.
constexpr DWORD kPathCapacity = 32768;

struct ItemListFree {
  void operator()(ITEMIDLIST* list) const { ::CoTaskMemFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

ItemList DesktopRoot() {
  PIDLIST_ABSOLUTE root = nullptr;
  if (::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &root) != S_OK) {
    return nullptr;
  }
  return ItemList(root);
}

// "" for an item that has no file-system path.
std::string PathOf(const ITEMIDLIST* item) {
  std::wstring buffer(kPathCapacity, L'\0');
  ::SHGetPathFromIDListEx(item, buffer.data(), kPathCapacity, GPFIDL_DEFAULT);
  return WideToUtf8(buffer.c_str());
}

}  // namespace

// Separators of its own, none at the end but a root's.
std::string FullFolderPath(std::wstring given) {
  // "C:\" quoted, as Explorer passes a drive, reaches us as C:" .
  if (!given.empty() && given.back() == L'"') given.pop_back();
  std::wstring full(kPathCapacity, L'\0');
  const DWORD length =
      ::GetFullPathNameW(given.c_str(), kPathCapacity, full.data(), nullptr);
  if (length == 0 || length >= kPathCapacity) return {};
  full.resize(length);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
  }
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return {};
  }
  return WideToUtf8(full);
}

std::string StartFolder() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments) return {};
  const std::string folder =
      count >= 2 && *arguments[1] ? FullFolderPath(arguments[1]) : "";
  ::LocalFree(arguments);
  return folder;
}

std::string SelectFolder() {
  try {
    const ItemList root = DesktopRoot();
    std::wstring display_name(MAX_PATH, L'\0');
    BROWSEINFOW request{};
    request.hwndOwner = nullptr;
    request.pidlRoot = root.get();
    request.pszDisplayName = display_name.data();
    request.lpszTitle = kInstruction;
    request.ulFlags = 0;
    const ItemList chosen(::SHBrowseForFolderW(&request));
    return chosen ? PathOf(chosen.get()) : std::string();
  } catch (const std::exception& failure) {
    ShowMessageBox(nullptr, failure.what(), "", MessageStyle::kPlain);
    return {};
  }
}

}  // namespace batchext::win32
