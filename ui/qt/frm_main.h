#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "ui/form/form_handlers.h"
#include "ui/qt/browser.h"
#include "ui/qt/contrast_style.h"
#include "ui/qt/run_progress.h"
#include "ui/qt/select_folder.h"

class QDropEvent;

namespace batchext {

// What the window calls out to. Tests replace them, so that no real dialog,
// message box or browser is ever waited for by accident.
struct FrmMainServices {
  FolderPicker pick_folder = SelectFolder;
  // Left empty: a message box over the window.
  ShowDetailedMessage show;
  LinkLauncher open_link = OpenInBrowser;
  InfoLinks links = DefaultInfoLinks();
  ProgressTiming progress_timing;
  // The source folder the window opens on, as StartFolder() answers it.
  std::optional<std::string> start_folder;
};

// The program's only window: the controls of FormControls(), each with its
// name there as object name, wired to FormHandlers. A local folder dropped
// on the target field becomes the target; anywhere else, the source.
class FrmMain : public QWidget {
  Q_OBJECT

 public:
  explicit FrmMain(FrmMainServices services = {});

 protected:
  // Tab and Shift+Tab walk the table's tab order, skipping what cannot take
  // the focus; a web panel counts as one stop, whatever it holds inside.
  bool focusNextPrevChild(bool next) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter presses the button that has the focus; there is no default one.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  FormSeams Seams(FrmMainServices& services);
  QWidget* CreateControl(const ControlSpec& control);
  void Connect(const ControlSpec& control, QWidget* widget);
  void KeepFolderTextsVisible();
  // The folder accepted, or nothing when the drag is refused.
  std::optional<std::string> AcceptFolderDrag(QDropEvent& event) const;
  void DropFolder(QDropEvent& event);
  void ShowFolders(const std::string& from, const std::string& target);
  void SetChecked(const ControlSpec& option, bool checked);
  void LoadPanel(const ControlSpec& panel, const std::string& address);
  // The state of the inputs, as OK and the preview read it.
  OkRequest Request() const;
  // Each run with a progress dialog of its own.
  RunWithWatcher Watched();
  void RunConversion();
  void RunPreview();

  template <typename Control = QWidget>
  Control* Find(const char* name) const {
    return findChild<Control*>(name);
  }

  ContrastStyle style_;
  ProgressTiming progress_timing_;
  FormHandlers form_;
};

}  // namespace batchext
