#pragma once

#include <windows.h>

#include <string>

namespace batchext::win32 {

// A dialog window laid out in code, shown modal over its owner by a loop
// of its own: Enter ends it through OnEnter(), whatever control has the
// focus, which the dialog manager alone would hand to a focused button.
class ModalDialog {
 public:
  ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;
  virtual ~ModalDialog() = default;

  // Shows the dialog until End(); answers End()'s result.
  int Run(HWND owner, const std::string& title, bool resizable);

 protected:
  HWND dialog() const { return dialog_; }
  int dpi() const { return dpi_; }
  HFONT font() const { return font_; }
  int Px(int pixels_at_96) const { return ::MulDiv(pixels_at_96, dpi_, 96); }
  void End(int result);

  // A child control in the dialog's font.
  HWND AddChild(const wchar_t* window_class, const std::wstring& text,
                DWORD style, int id);
  // Where the focus starts once the dialog shows.
  void SetInitialFocus(HWND control) { initial_focus_ = control; }
  // The size `text` takes in the dialog's font, broken to `width` if given.
  SIZE Measure(const std::wstring& text, int width = 0) const;

  // Creates the controls; answers the client size the dialog wants.
  virtual SIZE OnInit() = 0;
  // Places the controls in a client area of `size`.
  virtual void OnSize(SIZE size) = 0;
  virtual void OnCommand(int id) = 0;
  virtual LRESULT OnNotify(NMHDR& /*header*/) { return 0; }
  virtual void OnEnter() { End(IDOK); }

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam,
                               LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Open(HWND owner, const std::string& title, bool resizable);

  HWND dialog_ = nullptr;
  HWND initial_focus_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  bool done_ = false;
  int result_ = IDCANCEL;
  SIZE minimum_{};
};

}  // namespace batchext::win32
