#include "ui/frm_main.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>
#include <cmath>
#include <exception>
#include <iterator>
#include <limits>
#include <utility>

#include "engine/conversion_run.h"
#include "ui/app_icon.h"
#include "ui/application.h"
#include "ui/fonts.h"
#include "ui/hand_cursor.h"
#include "ui/link_label.h"
#include "ui/message_box.h"
#include "ui/twips.h"
#include "ui/web_panels.h"

namespace batchext {
namespace {

constexpr int kClientWidth = 10410;
constexpr int kClientHeight = 6345;
constexpr qreal kCaptionPoints = 14.25;
constexpr qreal kOptionPoints = 10.5;

constexpr char kBrowseTip[] = "点击此处选择一个文件夹作为处理的目标";
constexpr char kStripTip[] =
    "指\"abc.abc.txt.txt\"这样的文件名,最后将会变成: abc.txt";
constexpr char kTaskLinkCaption[] =
    "有其它问题需要解决,请单击此处,成千上万优秀人才为您服务";
constexpr char kNoSourceText[] = "没有成功选择来源文件夹";
constexpr char kNoTargetText[] = "没有成功选择目标文件夹";
constexpr char kNoFolderTitle[] = "无法操作";
constexpr char kTargetSuffix[] = "(2)";

template <typename Control>
Control* Place(Control* control, const char* name, const QRect& geometry,
               const QFont& font) {
  control->setObjectName(name);
  control->setGeometry(geometry);
  control->setFont(font);
  return control;
}

QLabel* Caption(const char* text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Where a face runs wider than the box was drawn for, the caption is set a
// little tighter rather than cut off.
void SqueezeToFit(QLabel* label) {
  const qreal excess =
      QFontMetricsF(label->font()).horizontalAdvance(label->text()) -
      label->width();
  if (excess <= 0) return;
  QFont font = label->font();
  font.setLetterSpacing(QFont::AbsoluteSpacing,
                        -std::ceil(excess / label->text().size()));
  label->setFont(font);
}

// A read-only white field that only the browse handlers write to.
QLabel* FolderField(QWidget* parent) {
  QLabel* field = Caption("", parent);
  field->setAutoFillBackground(true);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Window, QColor(255, 255, 255));
  field->setPalette(palette);
  return field;
}

QPushButton* BrowseButton(QWidget* parent) {
  auto* button = new QPushButton("…", parent);
  button->setToolTip(kBrowseTip);
  button->setAutoDefault(false);
  return button;
}

QLineEdit* TextBox(const char* text, QWidget* parent) {
  auto* box = new QLineEdit(text, parent);
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

}  // namespace

FrmMain::FrmMain(FrmMainServices services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      services_(std::move(services)) {
  show_ = services_.show
              ? services_.show
              : [this](const std::string& text, const std::string& title,
                       MessageStyle style) {
                  ShowMessageBox(this, text, title, style);
                };
  setObjectName("FrmMain");
  setWindowTitle(kApplicationTitle);
  setWindowIcon(AppIcon());
  setFont(WindowDefaultFont());
  setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));

  CreateFrame();
  CreateInfoControls();
  SetTabOrder();
  Connect();
  Load();
  StartWebPanel(*scriptlet2_, services_.links.panel2);
  StartWebPanel(*scriptlet1_, services_.links.panel1);
  cmd_browse_from_folder_->setFocus();
}

void FrmMain::CreateFrame() {
  const QFont caption_font = SongTiFont(kCaptionPoints);
  const QFont default_font = WindowDefaultFont();
  frame1_ = Place(new QGroupBox("操作区域", this), "Frame1",
                  TwipRect(75, 315, 4935, 4470), caption_font);
  SqueezeToFit(Place(Caption("选择来源文件夹", frame1_), "Label1_0",
                     TwipRect(120, 405, 2175, 375), caption_font));
  lbl_from_folder_ = Place(FolderField(frame1_), "LblFromFolder",
                           TwipRect(120, 765, 4215, 255), default_font);
  cmd_browse_from_folder_ = Place(BrowseButton(frame1_), "CmdBrowseFromFolder",
                                  TwipRect(4320, 765, 495, 255), default_font);
  SqueezeToFit(Place(Caption("选择目标文件夹", frame1_), "Label1_1",
                     TwipRect(120, 1125, 2175, 375), caption_font));
  lbl_target_folder_ = Place(FolderField(frame1_), "LblTargetFolder",
                             TwipRect(120, 1485, 4215, 255), default_font);
  cmd_browse_target_folder_ =
      Place(BrowseButton(frame1_), "CmdBrowseTargetFolder",
            TwipRect(4320, 1485, 495, 255), default_font);
  SqueezeToFit(Place(Caption("只更改来源文件夹中指定后缀的文件", frame1_),
                     "Label1_3", TwipRect(60, 1860, 4695, 375), caption_font));
  txt_from_houzui_ = Place(TextBox("*", frame1_), "TxtFromHouzui",
                           TwipRect(60, 2220, 4575, 360), caption_font);
  SqueezeToFit(Place(Caption("将来源文件夹中所有文件后缀更改为：", frame1_),
                     "Label1_2", TwipRect(60, 2580, 4695, 375), caption_font));
  txt_hou_zui_ = Place(TextBox("txt", frame1_), "TxtHouZui",
                       TwipRect(60, 2940, 4575, 360), caption_font);
  CreateFrameOptions(frame1_);
}

void FrmMain::CreateFrameOptions(QWidget* frame) {
  chck_ = Place(new QCheckBox("包括全部子文件夹", frame), "Chck",
                TwipRect(135, 3300, 4560, 360),
                SongTiFont(kOptionPoints, QFont::Bold));
  chk_ =
      Place(new QCheckBox("如文件名中有多重后缀名,去掉多余的后缀名", frame),
            "Chk", TwipRect(135, 3585, 4560, 390), SongTiFont(kOptionPoints));
  chk_->setToolTip(kStripTip);
  cmd_ok_ = Place(new QPushButton("开始批量修改", frame), "CmdOk",
                  TwipRect(885, 3990, 3015, 405), SongTiFont(kCaptionPoints));
  cmd_ok_->setAutoDefault(false);
}

// Placed at their design positions here; Load moves them.
void FrmMain::CreateInfoControls() {
  const QFont default_font = WindowDefaultFont();
  scriptlet1_ = Place(new QWebEngineView(this), "Scriptlet1",
                      TwipRect(5205, 75, 1620, 1710), default_font);
  for (int index = 0; index < 2; ++index) {
    label3_[index] = new LinkLabel(kTaskLinkCaption, this);
    SetTextColour(label3_[index], QColor(0, 0, 255));
    label3_[index]->setCursor(HandCursor());
  }
  Place(label3_[0], "Label3_0", TwipRect(105, 120, 4950, 270), default_font);
  Place(label3_[1], "Label3_1", TwipRect(60, 4785, 4950, 270), default_font);
  scriptlet2_ = Place(new QWebEngineView(this), "Scriptlet2",
                      TwipRect(60, 5100, 870, 660), default_font);
  scriptlet1_->installEventFilter(this);
  scriptlet2_->installEventFilter(this);
  label2_ = Place(
      new LinkLabel(QString::fromStdString(services_.links.contact_line), this),
      "Label2", TwipRect(7710, 5310, 2415, 930), default_font);
  label2_->setWordWrap(true);
  label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label2_->setCursor(Qt::ArrowCursor);
  SetTextColour(label2_, QColor(128, 0, 128));
}

// A web view takes the focus through a proxy that it creates only once its
// page runs, so the order is laid again whenever a view gains a child.
void FrmMain::SetTabOrder() {
  QWidget* const order[] = {cmd_browse_from_folder_,
                            cmd_browse_target_folder_,
                            txt_hou_zui_,
                            cmd_ok_,
                            txt_from_houzui_,
                            scriptlet1_,
                            scriptlet2_,
                            chk_,
                            chck_};
  QWidget* previous = nullptr;
  for (QWidget* control : order) {
    QWidget* stop = control->focusProxy() ? control->focusProxy() : control;
    if (!(stop->focusPolicy() & Qt::TabFocus)) continue;
    if (previous) setTabOrder(previous, stop);
    previous = stop;
  }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ChildAdded &&
      (watched == scriptlet1_ || watched == scriptlet2_)) {
    QMetaObject::invokeMethod(this, &FrmMain::SetTabOrder,
                              Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

void FrmMain::Connect() {
  connect(cmd_browse_from_folder_, &QPushButton::clicked, this,
          &FrmMain::BrowseFromFolder);
  connect(cmd_browse_target_folder_, &QPushButton::clicked, this,
          &FrmMain::BrowseTargetFolder);
  connect(cmd_ok_, &QPushButton::clicked, this, &FrmMain::RunConversion);
  connect(label2_, &LinkLabel::clicked, this,
          [this] { OpenAddress(services_.links.home_page); });
  for (LinkLabel* label : label3_) {
    connect(label, &LinkLabel::clicked, this,
            [this] { OpenAddress(services_.links.task_page); });
  }
}

void FrmMain::Load() {
  PlaceWebPanels();
  chk_->setCheckState(Qt::Unchecked);
  chck_->setCheckState(Qt::Unchecked);
}

// Scriptlet1 runs 95 twips past the right edge, and Scriptlet2 covers the
// lower edge of Label3_1; both lie above the labels.
void FrmMain::PlaceWebPanels() {
  scriptlet2_->setGeometry(TwipRect(90, 4920, 7455, 1350));
  scriptlet2_->raise();
  scriptlet1_->setGeometry(TwipRect(5160, 45, 5345, 4950));
  scriptlet1_->raise();
}

void FrmMain::BrowseFromFolder() {
  try {
    const std::string folder = services_.pick_folder();
    if (folder.empty()) return;
    settings_.FromFolder = folder;
    lbl_from_folder_->setText(QString::fromStdString(folder));
    settings_.TargetFolder = folder + kTargetSuffix;
    lbl_target_folder_->setText(QString::fromStdString(settings_.TargetFolder));
  } catch (const std::exception&) {
    show_(kNoSourceText, kNoFolderTitle, MessageStyle::kWarning);
  }
}

void FrmMain::BrowseTargetFolder() {
  try {
    const std::string folder = services_.pick_folder();
    if (folder.empty()) return;
    settings_.TargetFolder = folder;
    lbl_target_folder_->setText(QString::fromStdString(folder));
  } catch (const std::exception&) {
    show_(kNoTargetText, kNoFolderTitle, MessageStyle::kWarning);
  }
}

void FrmMain::RunConversion() {
  settings_.StripSurplusExtensions = chk_->checkState() == Qt::Checked;
  settings_.IncludeSubfolders = chck_->checkState() != Qt::Unchecked;
  RunProgress progress(this, services_.progress_timing);
  const ShowMessage show = [this, &progress](const std::string& text,
                                             const std::string& title,
                                             MessageStyle style) {
    progress.Pause();
    show_(text, title, style);
  };
  StartConversion(settings_, txt_from_houzui_->text().toStdString(),
                  txt_hou_zui_->text().toStdString(), show,
                  progress.Observer());
}

void FrmMain::OpenAddress(const std::string& address) {
  try {
    services_.open_link(AddressToUrl(address));
  } catch (const std::exception&) {
    // A browser that cannot be started is not the user's concern here.
  }
}

}  // namespace batchext
