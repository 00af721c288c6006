#pragma once

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ui/form/form_handlers.h"
#include "ui/form/form_layout.h"
#include "ui/win32/web_panel.h"

namespace batchext::win32 {

// The program's only window, built from the shared table of controls; its
// events go to the shared handlers. A folder dropped on the target field
// becomes the target; anywhere else, the source. Positions are scaled from
// twips to the window's DPI and again whenever the window moves to another
// monitor.
class FrmMain {
 public:
  explicit FrmMain(InfoLinks links);
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;
  ~FrmMain();

  // Creates the window, loads it and shows it, on `start_folder` as if it
  // had been picked unless that is ""; false when it could not be created.
  bool Open(int show_command, const std::string& start_folder = "");

  HWND window() const { return window_; }

 private:
  struct Control {
    const ControlSpec* spec;
    HWND window = nullptr;
    TwipRect placed;
    int letter_spacing = 0;  // negative where a caption is squeezed to fit
    HBRUSH back_brush = nullptr;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  FormSeams Seams();
  void CreateControls();
  void CreateTooltips();
  void AnnounceControls();
  void Layout();
  void Resize();
  HFONT FontFor(const FontSpec& spec, const std::wstring& text);
  void FitCaption(Control& control);
  int Px(int twips) const;
  RECT PixelRect(const Control& control) const;

  Control* Find(const char* name);
  Control* Find(HWND window);
  bool OnCommand(WPARAM wparam, LPARAM lparam);
  LRESULT OnControlColour(HDC dc, HWND control);
  // The state of the inputs, as OK and the preview read it.
  OkRequest Request();
  // Each run with a progress dialog of its own.
  RunWithWatcher Watched();
  void RunConversion();
  void DropFiles(HDROP drop);
  void ShowFolders(const std::string& from, const std::string& target);
  void LoadPanel(const ControlSpec& panel, const std::string& address);

  FormHandlers handlers_;
  HWND window_ = nullptr;
  HWND tooltips_ = nullptr;
  // Where the focus goes back to when the window is activated again.
  HWND last_focus_ = nullptr;
  HCURSOR hand_ = nullptr;
  int dpi_ = 96;
  std::vector<Control> controls_;
  std::map<const ControlSpec*, std::unique_ptr<WebPanel>> panels_;
  // Keyed by face, size and weight; rebuilt when the DPI changes.
  std::map<std::tuple<const char*, double, bool, std::wstring>, HFONT> fonts_;
};

}  // namespace batchext::win32
