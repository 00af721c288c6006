#include "ui/qt/frm_main.h"

#include <QAccessible>
#include <QBitmap>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form/form_layout.h"
#include "ui/form/run_texts.h"
#include "ui/qt/details_report.h"
#include "ui/qt/folder_drop.h"
#include "ui/qt/message_box.h"
#include "ui/qt/preview_dialog.h"
#include "ui/qt/twips.h"

namespace batchext {
namespace {

using testing::Child;
using testing::Click;
using testing::TempTree;
using testing::WhenShown;

// Whether a person can read the whole caption: one line across the width,
// or for a wrapping label, every line within the height.
bool TextFits(const QWidget& widget) {
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
    if (label->wordWrap()) {
      return label->heightForWidth(label->width()) <= label->height();
    }
    return QFontMetricsF(label->font()).horizontalAdvance(label->text()) <=
           label->width();
  }
  if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
    return box->sizeHint().width() <= box->width();
  }
  const QString text =
      widget.property(widget.inherits("QGroupBox") ? "title" : "text")
          .toString();
  return QFontMetricsF(widget.font()).horizontalAdvance(text) <= widget.width();
}

// The files a run made in "in(2)" of `temp`.
QStringList Made(const TempTree& temp) {
  QStringList made;
  for (const std::string& entry : temp.Entries("in(2)")) {
    if (!entry.ends_with('/')) made << QString::fromStdString(entry);
  }
  return made;
}

// The WCAG 2 contrast ratio, from each colour's relative luminance.
double Contrast(const QColor& a, const QColor& b) {
  const auto linear = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  const auto luminance = [&](const QColor& c) {
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) +
           0.0722 * linear(c.blueF());
  };
  const auto [dark, light] = std::minmax({luminance(a), luminance(b)});
  return (light + 0.05) / (dark + 0.05);
}

// What a control's text is drawn on: buttons and text boxes draw their own
// panel; anything else shows the nearest ancestor that fills its background.
QColor Backdrop(const QWidget& widget) {
  const QPalette::ColorRole role = widget.backgroundRole();
  if (role == QPalette::Button || role == QPalette::Base) {
    return widget.palette().color(role);
  }
  const QWidget* filler = &widget;
  while (!filler->autoFillBackground() && !filler->isWindow()) {
    filler = filler->parentWidget();
  }
  return filler->palette().color(filler->backgroundRole());
}

// Where on `widget` text pixels end, in its own pixels: the last column
// holding a pixel darker than mid-grey.
int TextRight(QWidget& widget) {
  const QPixmap pixmap = widget.grab();
  const QImage image = pixmap.toImage();
  for (int x = image.width() - 1; x >= 0; --x) {
    for (int y = 0; y < image.height(); ++y) {
      if (qGray(image.pixel(x, y)) < 128) {
        return int(std::ceil((x + 1) / pixmap.devicePixelRatio()));
      }
    }
  }
  return 0;
}

// The preview dialog once it is up.
QWidget* PreviewDialog() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == "PreviewDialog" && top->isVisible()) return top;
  }
  return nullptr;
}

// Each row of the preview's list as "SOURCE > DESTINATION > RESULT".
QStringList Rows(const QWidget& dialog) {
  const QAbstractItemModel* model =
      Child<QTableView>(dialog, "PreviewTable")->model();
  QStringList rows;
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column) {
      texts << model->index(row, column).data().toString();
    }
    rows << texts.join(" > ");
  }
  return rows;
}

QString Summary(qsizetype converted) {
  return QString("操作结果|成功修改了%1个文件的后缀名，失败0个文件|64")
      .arg(converted);
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private:
  // A window whose progress dialog comes at once, with "in" of `temp` picked
  // and "doc" typed as the extension to change.
  std::unique_ptr<FrmMain> Prepared(const TempTree& temp) {
    FrmMainServices services = fakes_.Services();
    services.progress_timing = {std::chrono::milliseconds(0),
                                std::chrono::milliseconds(0)};
    auto window = std::make_unique<FrmMain>(std::move(services));
    fakes_.answers.push_back(temp.Path("in"));
    Click(*window, "CmdBrowseFromFolder");
    Child<QLineEdit>(*window, "TxtFromHouzui")->setText("doc");
    return window;
  }

  testing::Fakes fakes_;
  const QPalette system_palette_ = QApplication::palette();

 private slots:
  void init() { fakes_ = {}; }
  void cleanup() {
    testing::DropPendingWaits();
    QApplication::setPalette(system_palette_);
  }

  // Every control of the table, where it says, its text readable in a face
  // with Chinese glyphs, and the focus walking the table's order.
  void windowShowsTheTable() {
    FrmMain window(fakes_.Services());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.windowTitle(), kApplicationTitle);
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint &&
            flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags &
              (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    for (const ControlSpec& control : FormControls()) {
      QWidget* widget = Child(window, control.name);
      QVERIFY2(widget, control.name);
      QCOMPARE(widget->parentWidget()->objectName(),
               *control.parent ? control.parent : "FrmMain");
      QCOMPARE(widget->geometry(),
               ToPixels(control.load_rect.value_or(control.rect)));
      QCOMPARE(widget->toolTip(), control.tooltip);
      if (control.kind == ControlKind::kWebPanel) continue;
      QVERIFY2(QFontDatabase::writingSystems(QFontInfo(widget->font()).family())
                   .contains(QFontDatabase::SimplifiedChinese),
               control.name);
      QVERIFY2(TextFits(*widget), control.name);
    }

    auto* box = Child<QLineEdit>(window, "TxtHouZui");
    box->setText(QString(40000, 'x'));  // no length limit
    QCOMPARE(box->text().size(), 40000);

    QCOMPARE(QApplication::focusWidget()->objectName(), FirstTabStop().name);
    // No default or cancel button: Enter and Esc in a text box do nothing.
    for (const char* name : {"TxtFromHouzui", "TxtHouZui"}) {
      Child(window, name)->setFocus();
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(QApplication::focusWidget(), key);
      }
    }
    QVERIFY(fakes_.shown.isEmpty());
    QVERIFY(window.isVisible());
    // On a focused button, Enter presses that button, as on Windows.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      Child(window, "CmdOk")->setFocus();
      QTest::keyClick(QApplication::focusWidget(), key);
      QTRY_COMPARE(fakes_.shown.size(), 1);
      QCOMPARE(fakes_.shown.takeFirst().section('|', 0, 0), "选择文件夹");
    }
  }

  // Every text is readable on what it is drawn on under a dark system
  // palette, set before or after the window is made: the window keeps the
  // light palette its colours were chosen for.
  void textsContrastUnderADarkPalette_data() {
    QTest::addColumn<bool>("after");
    QTest::newRow("before") << false;
    QTest::newRow("after") << true;
  }

  void textsContrastUnderADarkPalette() {
    QFETCH(bool, after);
    // Derived from a dark grey: white text on near-black fields.
    const QPalette dark(QColor(53, 53, 53));
    if (!after) QApplication::setPalette(dark);
    FrmMain window(fakes_.Services());
    if (after) QApplication::setPalette(dark);
    fakes_.answers = {"/in"};
    Click(window, "CmdBrowseFromFolder");
    for (const ControlSpec& control : FormControls()) {
      if (control.kind == ControlKind::kWebPanel) continue;
      const QWidget& widget = *Child(window, control.name);
      const double ratio = Contrast(
          widget.palette().color(widget.foregroundRole()), Backdrop(widget));
      QVERIFY2(ratio >= 4.5,
               qPrintable(QString("%1: %2").arg(control.name).arg(ratio)));
    }
  }

  // A long path loses its middle, keeps both ends and the full path as the
  // tooltip, and its text stays clear of the browse button (this case runs
  // once more with QT_SCALE_FACTOR=1.5).
  void longPathsLoseTheirMiddle() {
    const double scale =
        qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    const QString path = "/home/me/" + QString(180, 'x') + "/照片";
    FrmMain window(fakes_.Services());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.devicePixelRatio(), scale);
    fakes_.answers = {path.toStdString()};
    Click(window, "CmdBrowseFromFolder");
    const std::pair<const char*, const char*> fields[] = {
        {"LblFromFolder", "CmdBrowseFromFolder"},
        {"LblTargetFolder", "CmdBrowseTargetFolder"}};
    for (const auto& [name, button] : fields) {
      auto* field = Child<QLabel>(window, name);
      const QString whole = field->toolTip();
      QCOMPARE(whole, path + (button == fields[0].second ? "" : "(2)"));
      QVERIFY2(field->text().startsWith("/home/me/") &&
                   field->text().contains("…") &&
                   field->text().endsWith(whole.right(4)),
               qPrintable(field->text()));
      const int room = Child(window, button)->x() - field->x();
      const int right = TextRight(*field);
      QVERIFY2(right <= room && right > room * 3 / 4,
               qPrintable(QString("%1 of %2").arg(right).arg(room)));
    }
  }

  // Dropped local folders act as picked ones; the rest is refused.
  void foldersCanBeDropped() {
    TempTree temp;
    temp.MakeFolder("in");
    temp.MakeFolder("out");
    temp.Write("file.txt", "");
    const auto local = [&](const char* name) {
      return QUrl::fromLocalFile(QString::fromStdString(temp.Path(name)));
    };
    const struct {
      const char* over;
      QList<QUrl> urls;
      Qt::DropActions offered;
      bool taken;
      const char* from;
      const char* target;
      bool box_open = false;
    } drops[] = {
        // clang-format off
        {"TxtHouZui", {local("in")}, Qt::CopyAction | Qt::MoveAction, true, "in", "in(2)"},
        {"LblTargetFolder", {local("out")}, Qt::CopyAction, true, "in", "out"},
        {"Label2", {local("out")}, Qt::CopyAction, true, "out", "out(2)"},
        {"Frame1", {local("file.txt")}, Qt::CopyAction, false, "out", "out(2)"},
        {"Frame1", {local("in"), local("out")}, Qt::CopyAction, false, "out", "out(2)"},
        {"Frame1", {QUrl("https://www.example/in/")}, Qt::CopyAction, false, "out", "out(2)"},
        // Taking a move would let the file manager remove the folder.
        {"Frame1", {local("in")}, Qt::MoveAction, false, "out", "out(2)"},
        {"Label2", {local("in")}, Qt::CopyAction, false, "out", "out(2)", true},
        // clang-format on
    };
    FrmMain window(fakes_.Services());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const auto& drop : drops) {
      QDialog box;
      box.setWindowModality(Qt::ApplicationModal);
      if (drop.box_open) box.show();  // as while a run is going
      QMimeData data;
      data.setUrls(drop.urls);
      data.setText(drop.urls.front().toLocalFile());  // as file managers do
      const QWidget* over = Child(window, drop.over);
      const QPoint at = over->mapTo(&window, over->rect().center());
      QDragEnterEvent enter(at, drop.offered, &data, Qt::LeftButton, {});
      QDragMoveEvent move(at, drop.offered, &data, Qt::LeftButton, {});
      QDropEvent release(at, drop.offered, &data, Qt::LeftButton, {});
      for (QDropEvent* event : {static_cast<QDropEvent*>(&enter),
                                static_cast<QDropEvent*>(&move), &release}) {
        QApplication::sendEvent(window.windowHandle(), event);
        QCOMPARE(event->isAccepted(), drop.taken);
        if (drop.taken) QCOMPARE(event->dropAction(), Qt::CopyAction);
      }
      QCOMPARE(Child<QLabel>(window, "LblFromFolder")->toolTip(),
               QString::fromStdString(temp.Path(drop.from)));
      QCOMPARE(Child<QLabel>(window, "LblTargetFolder")->toolTip(),
               QString::fromStdString(temp.Path(drop.target)));
    }
    QCOMPARE(Child<QLineEdit>(window, "TxtHouZui")->text(), "txt");
  }

  // Borders of the boxes stand out 3:1 from what is around them, and the
  // control that has the focus at start shows its ring before any key.
  void bordersStandOutAndTheFocusShows() {
    FrmMain window(fakes_.Services());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto luminance = [](QColor colour) {
      const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
      };
      return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
             0.0722 * linear(colour.blueF());
    };
    const auto contrast = [&](QColor a, QColor b) {
      const double la = luminance(a), lb = luminance(b);
      return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    const QColor around = window.palette().color(QPalette::Window);
    for (const char* name : {"TxtHouZui", "Chk", "Chck"}) {
      QWidget* control = Child(window, name);
      QRect box = control->rect();
      if (auto* check = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(check);
        box = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator,
                                             &option, check);
      }
      // The darkest pixel across the left edge is the border's.
      const QImage image = control->grab().toImage();
      QColor border = Qt::white;
      for (int x = box.left(); x < box.left() + 3; ++x) {
        const QColor pixel = image.pixelColor(x, box.center().y());
        if (luminance(pixel) < luminance(border)) border = pixel;
      }
      QVERIFY2(contrast(border, around) >= 3.0, name);
      QVERIFY2(contrast(border, Qt::white) >= 3.0, name);
    }
    auto* first = Child<QPushButton>(window, "CmdBrowseFromFolder");
    QVERIFY(first->hasFocus());
    const QImage at_start = first->grab().toImage();
    QTest::keyClick(&window, Qt::Key_Tab);
    QTest::keyClick(&window, Qt::Key_Backtab);
    QVERIFY(first->hasFocus());
    QCOMPARE(at_start, first->grab().toImage());
  }

  // A screen reader hears each control by what a sighted user reads beside
  // it, and the chosen paths whole.
  void controlsAreHeardAsSeen() {
    TempTree temp;
    temp.MakeFolder("in");
    FrmMain window(fakes_.Services());
    const auto heard = [&](const char* name, QAccessible::Text what) {
      QAccessibleInterface* face =
          QAccessible::queryAccessibleInterface(Child(window, name));
      return face ? face->text(what) : QString("(none)");
    };
    const std::pair<const char*, const char*> names[] = {
        {"TxtFromHouzui", "只更改来源文件夹中指定后缀的文件"},
        {"TxtHouZui", "将来源文件夹中所有文件后缀更改为："},
        {"CmdBrowseFromFolder", "选择来源文件夹"},
        {"CmdBrowseTargetFolder", "选择目标文件夹"},
        {"LblFromFolder", "选择来源文件夹"},
        {"LblTargetFolder", "选择目标文件夹"},
        {"Scriptlet1", "广告"},
        {"Scriptlet2", "广告"},
        {"CmdOk", "开始批量修改"},
    };
    for (const auto& [name, expected] : names) {
      QCOMPARE(heard(name, QAccessible::Name), QString::fromUtf8(expected));
    }
    fakes_.answers.push_back(temp.Path("in"));
    Click(window, "CmdBrowseFromFolder");
    const QString in = QString::fromStdString(temp.Path("in"));
    QCOMPARE(heard("CmdBrowseFromFolder", QAccessible::Description), in);
    QCOMPARE(heard("LblFromFolder", QAccessible::Description), in);
    QCOMPARE(heard("CmdBrowseTargetFolder", QAccessible::Description),
             in + "(2)");
    // The blue lines and the contact line are links a reader can press.
    for (const char* name : {"Label3_0", "Label3_1", "Label2"}) {
      QAccessibleInterface* link =
          QAccessible::queryAccessibleInterface(Child(window, name));
      QCOMPARE(link->role(), QAccessible::Link);
      QCOMPARE(link->text(QAccessible::Name),
               Child<QLabel>(window, name)->text());
      QAccessibleActionInterface* actions = link->actionInterface();
      QVERIFY(actions);
      actions->doAction(QAccessibleActionInterface::pressAction());
    }
    const QString task = "https://task.example/?a=1&b=2";
    QCOMPARE(fakes_.opened, QStringList({task, task, "https://home.example/"}));
  }

  // `batchext FOLDER`, as a file manager starts it, opens as if the folder
  // had been picked; anything else starts the window as it always starts.
  void startsOnTheFolderItIsGiven() {
    TempTree temp;
    temp.MakeFolder("in");
    temp.Write("file.txt", "");
    const QString root = QString::fromStdString(temp.Path());
    const QDir before = QDir::current();
    QVERIFY(QDir::setCurrent(root));
    const struct {
      QStringList arguments;
      const char* from;
    } starts[] = {
        {{"batchext", "in", "out"}, "in"},
        {{"batchext", root + "/./in/"}, "in"},
        {{"batchext", "file.txt"}, nullptr},
        {{"batchext", "missing"}, nullptr},
        {{"batchext"}, nullptr},
    };
    for (const auto& start : starts) {
      FrmMainServices services = fakes_.Services();
      services.start_folder = StartFolder(start.arguments);
      FrmMain window(std::move(services));
      const QString from =
          start.from ? QString::fromStdString(temp.Path(start.from)) : "";
      QCOMPARE(Child<QLabel>(window, "LblFromFolder")->toolTip(), from);
      QCOMPARE(Child<QLabel>(window, "LblTargetFolder")->toolTip(),
               start.from ? from + "(2)" : "");
    }
    QDir::setCurrent(before.path());
  }

  // One option at a time, so that each is seen to do its own job.
  void okRunsTheConversion_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("made");
    QTest::newRow("strip surplus extensions")
        << "Chk" << QStringList{"a.txt", "b.txt", "照片.txt"};
    QTest::newRow("include subfolders")
        << "Chck" << QStringList{"a.txt", "b.b.txt", "s/d.txt", "照片.txt"};
  }

  void okRunsTheConversion() {
    QFETCH(QString, option);
    QFETCH(QStringList, made);
    TempTree temp;
    for (const char* name :
         {"a.doc", "b.b.doc", "c.txt", "照片.doc", "s/d.doc"}) {
      temp.Write(std::string("in/") + name, "");
    }
    // The progress dialog must be gone by the summary.
    const std::unique_ptr<FrmMain> window = Prepared(temp);
    auto* box = Child<QCheckBox>(*window, qPrintable(option));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    Click(*window, "CmdOk");
    QCOMPARE(fakes_.shown, QStringList{Summary(made.size())});
    QCOMPARE(fakes_.shown_over_progress, 0);
    QCOMPARE(Made(temp), made);
  }

  void longRunShowsProgressAndCancelStops() {
    TempTree temp;
    // Far more than a poll's worth, even with the copies in parallel.
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i) {
      temp.Write("in/" + std::to_string(i) + ".doc", "");
    }
    const std::unique_ptr<FrmMain> window = Prepared(temp);
    QString label;
    QString heard;
    // Cancel once the modal dialog has reported five files or more.
    WhenShown(
        [] {
          auto* dialog =
              qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
          // Against the total, counted beside the run.
          const QRegularExpression five("已处理([5-9]|\\d\\d+)/3000个文件");
          return dialog && dialog->labelText().contains(five) ? dialog
                                                              : nullptr;
        },
        [&](QWidget* dialog) {
          label = static_cast<QProgressDialog*>(dialog)->labelText();
          heard = dialog->accessibleName() + "|" +
                  dialog->findChild<QProgressBar*>()->accessibleName();
          QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
    Click(*window, "CmdOk");
    const QString in = QDir::toNativeSeparators(temp.Path("in").c_str());
    QVERIFY2(label.contains("当前文件夹：" + in), qPrintable(label));
    QCOMPARE(heard, "正在修改文件的后缀名|进度");
    const qsizetype made = Made(temp).size();
    QVERIFY2(made >= 5 && made < kFiles, qPrintable(QString::number(made)));
    QCOMPARE(fakes_.shown,
             QStringList{QString("操作结果|操作已取消，没有处理完全部文件。\n"
                                 "成功修改了%1个文件的后缀名，失败0个文件|48")
                             .arg(made)});
    QCOMPARE(
        fakes_.details,
        QStringList{QString("操作已取消，取消前已处理%1个文件").arg(made)});
  }

  // The real show operation: the style's icon, the title (the
  // application's where none is given), plain text and one OK button; the
  // details behind a second button, every button reading in Chinese.
  void messageBoxShowsStyleTitleAndOneButton() {
    const Details one_row{.heading = "",
                          .rows = {{.path = "/a", .reason = "原因"}},
                          .unlisted = 0,
                          .note = ""};
    const std::tuple<MessageStyle, QMessageBox::Icon, Details> styles[] = {
        {MessageStyle::kPlain, QMessageBox::NoIcon, {}},
        {MessageStyle::kError, QMessageBox::Critical, {}},
        {MessageStyle::kWarning, QMessageBox::Warning, {}},
        {MessageStyle::kInformation, QMessageBox::Information, one_row}};
    for (const auto& [style, icon, details] : styles) {
      const char* title = style == MessageStyle::kPlain ? "" : "操作结果";
      QStringList shown;
      WhenShown(
          [] { return QApplication::activeModalWidget(); },
          [&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            shown << QString::number(box->icon()) << box->windowTitle()
                  << box->text() << QString::number(box->textFormat());
            const QRegularExpression chinese("\\p{Han}");
            for (const QAbstractButton* button : box->buttons()) {
              shown << (button->text().contains(chinese) ? "中"
                                                         : button->text());
            }
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
          });
      ShowMessageBox(nullptr, "<b>a&b</b>", title, style, details);
      QStringList expected{QString::number(icon),
                           *title ? title : kApplicationTitle, "<b>a&b</b>",
                           QString::number(Qt::PlainText), "中"};
      if (!details.empty()) expected << "中";
      QCOMPARE(shown, expected);
    }
  }

  // A run's summary offers "撤销" beside the details, and tells whether it
  // was pressed; OK is no undo.
  void summaryOffersUndoBesideTheDetails() {
    const Details details{.heading = "",
                          .rows = {{.path = "/a", .reason = "原因"}},
                          .unlisted = 0,
                          .note = ""};
    for (const bool press_undo : {true, false}) {
      QStringList buttons;
      WhenShown([] { return QApplication::activeModalWidget(); },
                [&](QWidget* widget) {
                  auto* box = qobject_cast<QMessageBox*>(widget);
                  QAbstractButton* undo = nullptr;
                  for (QAbstractButton* button : box->buttons()) {
                    buttons << button->text();
                    if (button->text() == kUndoButtonText) undo = button;
                  }
                  QTest::mouseClick(
                      press_undo && undo ? undo : box->button(QMessageBox::Ok),
                      Qt::LeftButton);
                });
      const bool pressed =
          ShowMessageBox(nullptr, "成功", "操作结果",
                         MessageStyle::kInformation, details, true);
      QCOMPARE(pressed, press_undo);
      buttons.sort();
      QCOMPARE(buttons, (QStringList{"撤销", "显示详情...", "确定"}));
    }
  }

  // "显示详情..." opens the report over the box, which stays: a row per
  // failure, the cancellation and the count of the rest in sight, "复制"
  // and "保存..." with every line. Enter closes the report and then the
  // box, though another button has the focus each time.
  void detailsOpenAsAReportThatCopiesAndSaves() {
    TempTree temp;
    const QString file = QString::fromStdString(temp.Path("保存.txt"));
    const Details details{.heading = "操作已取消，取消前已处理9个文件",
                          .rows = {{.path = "/a", .reason = "原因一"},
                                   {.path = "/b c", .reason = "原因二"}},
                          .unlisted = 4,
                          .note = ""};
    const auto modal = [] { return QApplication::activeModalWidget(); };
    QStringList rows, lines;
    bool box_stayed = false, report_closed = false;
    WhenShown(modal, [&](QWidget* box) {
      const auto button = [](QWidget* parent, const char* text) {
        for (auto* found : parent->findChildren<QPushButton*>()) {
          if (found->text() == text) return found;
        }
        return static_cast<QPushButton*>(nullptr);
      };
      WhenShown(modal, [&](QWidget* report) {
        QVERIFY(qobject_cast<DetailsReport*>(report));
        QVERIFY(static_cast<QDialog*>(report)->isSizeGripEnabled());
        auto* list = report->findChild<QTreeWidget*>();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
          rows << list->topLevelItem(i)->text(0) + "|" +
                      list->topLevelItem(i)->text(1);
        }
        for (const QLabel* label : report->findChildren<QLabel*>()) {
          if (label->isVisibleTo(report)) lines << label->text();
        }
        QApplication::clipboard()->clear();
        QTest::mouseClick(button(report, kCopyButtonText), Qt::LeftButton);
        lines << QApplication::clipboard()->text();
        WhenShown(modal, [&](QWidget* dialog) {
          static_cast<QFileDialog*>(dialog)->selectFile(file);
          static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
        });
        QTest::mouseClick(button(report, kSaveButtonText), Qt::LeftButton);
        QPushButton* copy = button(report, kCopyButtonText);
        copy->setFocus();
        QTest::keyClick(copy, Qt::Key_Return);
        report_closed = report->isHidden();
        if (!report_closed) static_cast<QDialog*>(report)->reject();
      });
      QTest::mouseClick(button(box, kDetailsButtonText), Qt::LeftButton);
      box_stayed = box->isVisible() && !qobject_cast<DetailsReport*>(modal());
      QPushButton* undo = button(box, kUndoButtonText);
      undo->setFocus();
      QTest::keyClick(undo, Qt::Key_Return);
    });
    QVERIFY(!ShowMessageBox(nullptr, "操作已取消", "操作结果",
                            MessageStyle::kWarning, details, true));
    QVERIFY(box_stayed);
    QVERIFY(report_closed);
    QCOMPARE(rows, (QStringList{"/a|原因一", "/b c|原因二"}));
    const QString text =
        "操作已取消，取消前已处理9个文件\n/a：原因一\n/b "
        "c：原因二\n以及另外4个";
    QCOMPARE(lines, (QStringList{"操作已取消，取消前已处理9个文件",
                                 "以及另外4个", text}));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), text + "\n");
  }

  // Only a left click opens, a launch that fails stays quiet, and only the
  // Label3 pair shows the hand.
  void linksOpenOnEveryLeftClick() {
    FrmMain window(fakes_.Services());
    QCOMPARE(Child<QLabel>(window, "Label2")->text(), "联系我们");
    const std::pair<const char*, Qt::MouseButton> clicks[] = {
        {"Label3_0", Qt::LeftButton},  {"Label3_1", Qt::LeftButton},
        {"Label2", Qt::LeftButton},    {"Label3_0", Qt::LeftButton},
        {"Label3_0", Qt::RightButton}, {"Label2", Qt::MiddleButton}};
    for (const auto& [name, button] : clicks) {
      QTest::mouseClick(Child(window, name), button);
    }
    const QString task = "https://task.example/?a=1&b=2";
    QCOMPARE(fakes_.opened,
             QStringList({task, task, "https://home.example/", task}));
    QVERIFY(fakes_.shown.isEmpty());
    for (const char* name : {"Label3_0", "Label3_1"}) {
      const QCursor cursor = Child(window, name)->cursor();
      QCOMPARE(cursor.shape(), Qt::BitmapCursor);
      const QPoint tip = cursor.hotSpot();
      const QImage bitmap = cursor.bitmap().toImage();
      const QImage mask = cursor.mask().toImage();
      // The hot spot is the opaque black fingertip; the corner see-through.
      QCOMPARE(QColor(mask.pixel(tip)), QColor(Qt::black));
      QCOMPARE(QColor(bitmap.pixel(tip)), QColor(Qt::black));
      QCOMPARE(QColor(mask.pixel(0, 0)), QColor(Qt::white));
    }
    QCOMPARE(Child(window, "Label2")->cursor().shape(), Qt::ArrowCursor);
  }

  // As root, merely showing a panel would end the process.
  void rootWithSandboxOnLeavesPanelsEmpty() {
#if defined(Q_OS_UNIX)
    const bool root = geteuid() == 0;
#else
    const bool root = false;
#endif
    if (!root || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
      QSKIP("needs root with the web sandbox on");
    }
    FrmMainServices services = fakes_.Services();
    services.links.panel1 = services.links.panel2 = "http://127.0.0.1:9/";
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    QVERIFY(Child(window, "Scriptlet1")->isHidden());
    QVERIFY(Child(window, "Scriptlet2")->isHidden());
  }

  // 预览... lists what OK would do; Enter on 开始批量修改 runs it, while
  // 关闭, Esc and Enter on the list write nothing.
  void previewListsThenRunsOnlyOnRequest_data() {
    QTest::addColumn<QString>("answer");
    QTest::newRow("start") << "PreviewStart";
    QTest::newRow("close") << "PreviewClose";
    QTest::newRow("enter on the list") << "PreviewTable";
    QTest::newRow("escape") << "";
  }

  void previewListsThenRunsOnlyOnRequest() {
    QFETCH(QString, answer);
    TempTree temp;
    temp.Write("in/a.doc", "a");
    temp.Write("in(2)/a.txt", "old");
    const std::unique_ptr<FrmMain> window = Prepared(temp);
    QStringList rows;
    QString counts;
    WhenShown(PreviewDialog, [&](QWidget* dialog) {
      rows = Rows(*dialog);
      counts = Child<QLabel>(*dialog, "PreviewCounts")->text();
      if (answer.isEmpty()) {
        QTest::keyClick(dialog, Qt::Key_Escape);
      } else {
        QWidget* focus = Child(*dialog, qPrintable(answer));
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
      }
    });
    Click(*window, "CmdPreview");
    const QString in = QDir::toNativeSeparators(temp.Path("in").c_str());
    QCOMPARE(rows, QStringList{in + QDir::separator() + "a.doc > " + in +
                               "(2)" + QDir::separator() + "a.txt > 替换"});
    QCOMPARE(counts,
             "将修改1个文件的后缀名（新建0个，替换1个，不变0个），失败0个文件");
    const bool started = answer == "PreviewStart";
    QCOMPARE(fakes_.shown, started ? QStringList{Summary(1)} : QStringList{});
    QCOMPARE(temp.Read("in(2)/a.txt"), started ? "a" : "old");
  }

  // A list of a hundred thousand rows opens about as fast as a short one.
  void previewOfAHundredThousandRowsOpensQuickly() {
    PreviewList list;
    const ConversionObserver observer = list.Watch({});
    const ChainedPath::Ptr in = ChainedPath::Root("/in");
    const ChainedPath::Ptr out = ChainedPath::Root("/in(2)");
    for (int i = 0; i < 100000; ++i) {
      const std::string name = std::to_string(i);
      observer.on_file({.source_folder = in,
                        .name = name + ".doc",
                        .target_folder = out,
                        .new_name = name + ".txt",
                        .status = CopyStatus::kWouldCreate,
                        .system_error = ""});
    }
    QElapsedTimer clock;
    qint64 shown_after = -1;
    QStringList last;
    WhenShown(PreviewDialog, [&](QWidget* dialog) {
      dialog->grab();  // painted once
      shown_after = clock.elapsed();
      auto* view = Child<QTableView>(*dialog, "PreviewTable");
      view->scrollToBottom();
      last << view->model()->index(99999, 0).data().toString();
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    clock.start();
    QVERIFY(!ShowPreviewDialog(nullptr, list));
    qInfo("100000 rows shown after %lld ms", shown_after);
    QVERIFY(shown_after >= 0 && shown_after < 2000);
    QCOMPARE(last, QStringList{"/in/99999.doc"});
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::FrmMainTest)
#include "frm_main_test.moc"
