#include "ui/qt/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "fs/state_folder.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/folder_drop.h"
#include "ui/qt/fonts.h"
#include "ui/qt/hand_cursor.h"
#include "ui/qt/link_label.h"
#include "ui/qt/message_box.h"
#include "ui/qt/path_field.h"
#include "ui/qt/preview_dialog.h"
#include "ui/qt/twips.h"
#include "ui/qt/web_panels.h"
#include "ui/qt/window_palette.h"

namespace batchext {
namespace {

QColor ToQColor(const Rgb& colour) {
  return QColor(colour.red, colour.green, colour.blue);
}

QLabel* Caption(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* Button(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  // No default button: Enter in a text box does nothing.
  button->setAutoDefault(false);
  return button;
}

QLineEdit* TextBox(const QString& text, QWidget* parent) {
  auto* box = new QLineEdit(text, parent);
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

LinkLabel* Link(const ControlSpec& control, const QString& text,
                QWidget* parent) {
  auto* label = new LinkLabel(text, parent);
  label->setCursor(control.hand_cursor ? HandCursor()
                                       : QCursor(Qt::ArrowCursor));
  if (control.word_wrap) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
  return label;
}

QWidget* CreateWidget(const ControlSpec& control, const QString& text,
                      QWidget* parent) {
  switch (control.kind) {
    case ControlKind::kFrame:
      return new QGroupBox(text, parent);
    case ControlKind::kCaption:
      return Caption(text, parent);
    case ControlKind::kFolderField:
      return new PathField(parent);
    case ControlKind::kBrowseButton:
    case ControlKind::kButton:
      return Button(text, parent);
    case ControlKind::kTextBox:
      return TextBox(text, parent);
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kLinkLabel:
      return Link(control, text, parent);
    case ControlKind::kWebPanel:
      return new QWebEngineView(parent);
  }
  return nullptr;
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

void SetColours(const ControlSpec& control, QWidget* widget) {
  QPalette palette = widget->palette();
  if (control.fore_colour) {
    palette.setColor(QPalette::WindowText, ToQColor(*control.fore_colour));
  }
  if (control.back_colour) {
    widget->setAutoFillBackground(true);
    palette.setColor(QPalette::Window, ToQColor(*control.back_colour));
  }
  widget->setPalette(palette);
}

// The stops in tab order.
std::vector<const ControlSpec*> TabOrder() {
  std::vector<const ControlSpec*> order;
  for (const ControlSpec& control : FormControls()) {
    if (control.tab_index >= 0) order.push_back(&control);
  }
  std::ranges::sort(order, {}, &ControlSpec::tab_index);
  return order;
}

// A web view takes the focus through a proxy that exists only once its page
// runs, and that it replaces when the page changes.
bool TakesTabFocus(const QWidget& stop) {
  const QWidget* taker = stop.focusProxy() ? stop.focusProxy() : &stop;
  return stop.isVisible() && stop.isEnabled() &&
         (taker->focusPolicy() & Qt::TabFocus);
}

}  // namespace

FrmMain::FrmMain(FrmMainServices services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      progress_timing_(services.progress_timing),
      form_(Seams(services), std::move(services.links)) {
  setObjectName("FrmMain");
  // The blue and purple texts were chosen against a light window.
  setPalette(LightPalette());
  setAcceptDrops(true);
  setWindowTitle(kApplicationTitle);
  setWindowIcon(AppIcon());
  setFont(ToQFont(kWindowFont));
  setFixedSize(TwipsToPixels(kClientWidthTwips),
               TwipsToPixels(kClientHeightTwips));
  for (const ControlSpec& control : FormControls()) {
    Connect(control, CreateControl(control));
  }
  KeepFolderTextsVisible();
  form_.Load();
  // Opened on a folder, as if it had been picked.
  if (services.start_folder) form_.DropFromFolder(*services.start_folder);
  Find(FirstTabStop().name)->setFocus();
}

FormSeams FrmMain::Seams(FrmMainServices& services) {
  const bool faked = static_cast<bool>(services.show);
  ShowDetailedMessage show = std::move(services.show);
  if (!show) {
    show = [this](const std::string& text, const std::string& title,
                  MessageStyle style, const std::string&) {
      ShowMessageBox(this, text, title, style);
    };
  }
  return {
      .pick_folder = std::move(services.pick_folder),
      .show = [show](const std::string& text, const std::string& title,
                     MessageStyle style) { show(text, title, style, {}); },
      .open_link = std::move(services.open_link),
      .show_folders =
          [this](const std::string& from, const std::string& target) {
            ShowFolders(from, target);
          },
      .set_checked = [this](const ControlSpec& option,
                            bool checked) { SetChecked(option, checked); },
      .load_panel =
          [this](const ControlSpec& panel, const std::string& address) {
            LoadPanel(panel, address);
          },
      .show_summary =
          [this, faked, show](const std::string& text, const std::string& title,
                              MessageStyle style, const Details& details,
                              bool offer_undo) {
            if (faked) {
              show(text, title, style, DetailsText(details));
              return false;
            }
            return ShowMessageBox(this, text, title, style, details,
                                  offer_undo);
          },
      .journal_folder = StateFolder(),
      .show_preview =
          [this](const PreviewList& list) {
            return ShowPreviewDialog(this, list);
          },
  };
}

QWidget* FrmMain::CreateControl(const ControlSpec& control) {
  QWidget* parent = *control.parent ? Find(control.parent) : this;
  QWidget* widget = CreateWidget(
      control, QString::fromStdString(CaptionOf(control, form_.links())),
      parent);
  widget->setObjectName(control.name);
  widget->setStyle(&style_);
  widget->setGeometry(ToPixels(control.rect));
  widget->setFont(ToQFont(control.font));
  if (*control.tooltip) widget->setToolTip(control.tooltip);
  if (*control.heard_as) {
    widget->setAccessibleName(QString::fromUtf8(control.heard_as));
  }
  SetColours(control, widget);
  if (control.kind == ControlKind::kCaption) {
    SqueezeToFit(static_cast<QLabel*>(widget));
  }
  return widget;
}

void FrmMain::Connect(const ControlSpec& control, QWidget* widget) {
  const auto on_click = [&](auto handler) {
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      connect(button, &QPushButton::clicked, this, handler);
    } else if (auto* label = qobject_cast<LinkLabel*>(widget)) {
      connect(label, &LinkLabel::clicked, this, handler);
    }
  };
  switch (control.click) {
    case ClickAction::kNone:
      break;
    case ClickAction::kBrowseFromFolder:
      on_click([this] { form_.BrowseFromFolder(); });
      break;
    case ClickAction::kBrowseTargetFolder:
      on_click([this] { form_.BrowseTargetFolder(); });
      break;
    case ClickAction::kOk:
      on_click([this] { RunConversion(); });
      break;
    case ClickAction::kPreview:
      on_click([this] { RunPreview(); });
      break;
    case ClickAction::kOpenAddress:
      on_click([this, &control] { form_.OpenLink(control); });
      break;
  }
}

// A field runs a little under its browse button, which covers its end.
void FrmMain::KeepFolderTextsVisible() {
  for (PathField* field : findChildren<PathField*>()) {
    int covered = 0;
    for (const QWidget* sibling : field->parentWidget()->findChildren<QWidget*>(
             Qt::FindDirectChildrenOnly)) {
      const QRect overlap = sibling->geometry() & field->geometry();
      if (sibling != field && !overlap.isEmpty() &&
          overlap.right() == field->geometry().right()) {
        covered = std::max(covered, overlap.width());
      }
    }
    field->KeepTextClearOfRight(covered);
  }
}

bool FrmMain::focusNextPrevChild(bool next) {
  std::vector<QWidget*> stops;
  for (const ControlSpec* control : TabOrder()) {
    QWidget* stop = Find(control->name);
    if (TakesTabFocus(*stop)) stops.push_back(stop);
  }
  if (stops.empty()) return false;
  const QWidget* focus = QApplication::focusWidget();
  const auto holder = std::ranges::find_if(stops, [focus](QWidget* stop) {
    return stop == focus || stop->isAncestorOf(focus);
  });
  const int count = static_cast<int>(stops.size());
  int index = static_cast<int>(holder - stops.begin());
  if (holder == stops.end()) index = next ? count - 1 : 0;
  index = (index + (next ? 1 : count - 1)) % count;
  stops[index]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

// Drags are taken where they reach the window, before any control: a text
// box would take the path as text and a web panel would open the folder.
void FrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Marked as if reached by Tab, so that its ring shows from the start.
  setAttribute(Qt::WA_KeyboardFocusChange);
  windowHandle()->installEventFilter(this);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched != windowHandle()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
      AcceptFolderDrag(*static_cast<QDropEvent*>(event));
      return true;
    case QEvent::Drop:
      DropFolder(*static_cast<QDropEvent*>(event));
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void FrmMain::keyPressEvent(QKeyEvent* event) {
  auto* button = qobject_cast<QPushButton*>(focusWidget());
  if (button &&
      (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    button->animateClick();
    return;
  }
  QWidget::keyPressEvent(event);
}

// Only a copy is offered back: a file manager removes the source of a move.
// While a run or a message box holds the window, nothing may change.
std::optional<std::string> FrmMain::AcceptFolderDrag(QDropEvent& event) const {
  std::optional<std::string> folder;
  if (!QApplication::activeModalWidget() &&
      (event.possibleActions() & Qt::CopyAction)) {
    folder = DroppedFolder(*event.mimeData());
  }
  if (folder) {
    event.setDropAction(Qt::CopyAction);
    event.accept();
  } else {
    event.ignore();
  }
  return folder;
}

// The folder is looked at once: asked again, it could be gone.
void FrmMain::DropFolder(QDropEvent& event) {
  const std::optional<std::string> folder = AcceptFolderDrag(event);
  if (!folder) return;
  if (childAt(event.position().toPoint()) == Find("LblTargetFolder")) {
    form_.DropTargetFolder(*folder);
  } else {
    form_.DropFromFolder(*folder);
  }
}

void FrmMain::ShowFolders(const std::string& from, const std::string& target) {
  Find<PathField>("LblFromFolder")->SetPath(QString::fromStdString(from));
  Find<PathField>("LblTargetFolder")->SetPath(QString::fromStdString(target));
  // The field shows a path cut short; a screen reader hears it whole.
  for (const char* name : {"LblFromFolder", "CmdBrowseFromFolder"}) {
    Find(name)->setAccessibleDescription(QString::fromStdString(from));
  }
  for (const char* name : {"LblTargetFolder", "CmdBrowseTargetFolder"}) {
    Find(name)->setAccessibleDescription(QString::fromStdString(target));
  }
}

void FrmMain::SetChecked(const ControlSpec& option, bool checked) {
  Find<QCheckBox>(option.name)
      ->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void FrmMain::LoadPanel(const ControlSpec& panel, const std::string& address) {
  auto* view = Find<QWebEngineView>(panel.name);
  view->setGeometry(ToPixels(*panel.load_rect));
  view->raise();
  StartWebPanel(*view, address);
}

OkRequest FrmMain::Request() const {
  return {
      .from_extension = Find<QLineEdit>("TxtFromHouzui")->text().toStdString(),
      .to_extension = Find<QLineEdit>("TxtHouZui")->text().toStdString(),
      .strip_surplus = Find<QCheckBox>("Chk")->checkState() == Qt::Checked,
      // A part-ticked box counts as ticked.
      .include_subfolders =
          Find<QCheckBox>("Chck")->checkState() != Qt::Unchecked,
  };
}

RunWithWatcher FrmMain::Watched() {
  return [this](const auto& run) {
    RunProgress progress(this, progress_timing_);
    run(progress.Observer(), [&progress] { progress.Pause(); });
  };
}

void FrmMain::RunConversion() {
  Watched()(
      [this, request = Request()](const ConversionObserver& observer,
                                  const std::function<void()>& before_message) {
        form_.Ok(request, observer, before_message);
      });
}

void FrmMain::RunPreview() { form_.Preview(Request(), Watched()); }

}  // namespace batchext
