#pragma once

#include <QWidget>
#include <string>

#include "engine/conversion_settings.h"
#include "ui/info_links.h"
#include "ui/run_progress.h"
#include "ui/select_folder.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWebEngineView;

namespace batchext {

class LinkLabel;

// What the window calls out to. Tests replace them, so that no real dialog,
// message box or browser is ever waited for by accident.
struct FrmMainServices {
  FolderPicker pick_folder = SelectFolder;
  // Left empty: a message box over the window.
  ShowMessage show;
  LinkLauncher open_link = OpenInBrowser;
  InfoLinks links = DefaultInfoLinks();
  ProgressTiming progress_timing;
};

// The program's only window: gathers one conversion request and runs it.
// Every control's object name is its name in the layout tables.
class FrmMain : public QWidget {
  Q_OBJECT

 public:
  explicit FrmMain(FrmMainServices services = {});

  const ConversionSettings& settings() const { return settings_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateFrame();
  void CreateFrameOptions(QWidget* frame);
  void CreateInfoControls();
  void SetTabOrder();
  void Connect();
  void Load();
  void PlaceWebPanels();

  void BrowseFromFolder();
  void BrowseTargetFolder();
  void RunConversion();
  void OpenAddress(const std::string& address);

  FrmMainServices services_;
  ShowMessage show_;
  ConversionSettings settings_;

  QGroupBox* frame1_ = nullptr;
  QLabel* lbl_from_folder_ = nullptr;
  QPushButton* cmd_browse_from_folder_ = nullptr;
  QLabel* lbl_target_folder_ = nullptr;
  QPushButton* cmd_browse_target_folder_ = nullptr;
  QLineEdit* txt_from_houzui_ = nullptr;
  QLineEdit* txt_hou_zui_ = nullptr;
  QCheckBox* chck_ = nullptr;
  QCheckBox* chk_ = nullptr;
  QPushButton* cmd_ok_ = nullptr;
  QWebEngineView* scriptlet1_ = nullptr;
  LinkLabel* label3_[2] = {};
  QWebEngineView* scriptlet2_ = nullptr;
  LinkLabel* label2_ = nullptr;
};

}  // namespace batchext
