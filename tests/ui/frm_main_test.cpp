#include "ui/qt/frm_main.h"

#include <QBitmap>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form/form_layout.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/ico_file.h"
#include "ui/qt/message_box.h"
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
  for (const std::string& entry : temp.Entries()) {
    if (entry.starts_with("in(2)/") && !entry.ends_with('/')) {
      made << QString::fromStdString(entry.substr(6));
    }
  }
  return made;
}

QString Summary(qsizetype converted) {
  return QString("操作结果|成功修改了%1个文件的后缀名，失败0个文件|information")
      .arg(converted);
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private:
  // Picks `source` and types `from` as the extension to change.
  void Prepare(FrmMain& window, const std::string& source, const char* from) {
    fakes_.answers.push_back(source);
    Click(window, "CmdBrowseFromFolder");
    Child<QLineEdit>(window, "TxtFromHouzui")->setText(from);
  }

  testing::Fakes fakes_;

 private slots:
  void init() { fakes_ = {}; }
  void cleanup() { testing::DropPendingWaits(); }

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

    QVERIFY(!Child<QCheckBox>(window, "Chk")->isChecked());
    QVERIFY(!Child<QCheckBox>(window, "Chck")->isChecked());
    auto* box = Child<QLineEdit>(window, "TxtHouZui");
    box->setText(QString(40000, 'x'));  // no length limit
    QCOMPARE(box->text().size(), 40000);

    // The empty panels stay out of the way.
    QStringList order;
    for (int index = 0;; ++index) {
      const auto& controls = FormControls();
      const auto stop =
          std::ranges::find(controls, index, &ControlSpec::tab_index);
      if (stop == controls.end()) break;
      if (stop->kind != ControlKind::kWebPanel) order << stop->name;
    }
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
    order << order.takeFirst();
    QStringList visited;
    while (visited.size() < order.size()) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
    // No default or cancel button: Enter and Esc in a text box do nothing.
    for (const char* name : {"TxtFromHouzui", "TxtHouZui"}) {
      Child(window, name)->setFocus();
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(QApplication::focusWidget(), key);
      }
    }
    QVERIFY(fakes_.shown.isEmpty());
    QVERIFY(window.isVisible());
  }

  void iconFileHoldsBothSizes() {
    QByteArray bytes = EncodeIco({AppIconImage(32), AppIconImage(16)});
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    QCOMPARE(reader.imageCount(), 2);
    // Qt ignores the mask of a 24-bit image; the last one ends the file and
    // must leave all 16 rows of 4 bytes opaque.
    QVERIFY(bytes.endsWith(QByteArray(16 * 4, '\0')));
    for (const int size : {32, 16}) {
      QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB888),
               AppIconImage(size));
      reader.jumpToNextImage();
    }
  }

  // The buttons reach the handlers and the fields show what they chose.
  void browseButtonsFillTheFolderFields() {
    FrmMain window(fakes_.Services());
    fakes_.answers = {"/in", "/out", "<throw>"};
    for (const char* name : {"CmdBrowseFromFolder", "CmdBrowseTargetFolder",
                             "CmdBrowseTargetFolder"}) {
      Click(window, name);
    }
    QCOMPARE(Child<QLabel>(window, "LblFromFolder")->text(), "/in");
    QCOMPARE(Child<QLabel>(window, "LblTargetFolder")->text(), "/out");
    QCOMPARE(fakes_.shown,
             QStringList{"无法操作|没有成功选择目标文件夹|warning"});
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
    FrmMain window(fakes_.Services());
    Prepare(window, temp.Path("in"), "doc");
    auto* box = Child<QCheckBox>(window, qPrintable(option));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    Click(window, "CmdOk");
    QCOMPARE(fakes_.shown, QStringList{Summary(made.size())});
    QCOMPARE(Made(temp), made);
  }

  void longRunShowsProgressAndCancelStops() {
    TempTree temp;
    constexpr int kFiles = 200;  // far more than a poll's worth
    for (int i = 0; i < kFiles; ++i) {
      temp.Write("in/" + std::to_string(i) + ".doc", "");
    }
    FrmMainServices services = fakes_.Services();
    services.progress_timing = {std::chrono::milliseconds(0),
                                std::chrono::milliseconds(0)};
    FrmMain window(std::move(services));
    Prepare(window, temp.Path("in"), "doc");
    QString label;
    // Cancel once the modal dialog has reported five files or more.
    WhenShown(
        [] {
          auto* dialog =
              qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
          const QRegularExpression five("已处理([5-9]|\\d\\d)个文件");
          return dialog && dialog->labelText().contains(five) ? dialog
                                                              : nullptr;
        },
        [&](QWidget* dialog) {
          label = static_cast<QProgressDialog*>(dialog)->labelText();
          QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
    Click(window, "CmdOk");
    const QString in = QDir::toNativeSeparators(temp.Path("in").c_str());
    QVERIFY2(label.contains("当前文件夹：" + in), qPrintable(label));
    const qsizetype made = Made(temp).size();
    QVERIFY2(made >= 5 && made < kFiles, qPrintable(QString::number(made)));
    QCOMPARE(fakes_.shown, QStringList{Summary(made)});
  }

  // The real show operation: the style's icon, the title (the
  // application's where none is given), plain text and one OK button.
  void messageBoxShowsStyleTitleAndOneButton() {
    const std::pair<MessageStyle, QMessageBox::Icon> styles[] = {
        {MessageStyle::kPlain, QMessageBox::NoIcon},
        {MessageStyle::kError, QMessageBox::Critical},
        {MessageStyle::kWarning, QMessageBox::Warning},
        {MessageStyle::kInformation, QMessageBox::Information}};
    for (const auto& [style, icon] : styles) {
      const char* title = style == MessageStyle::kPlain ? "" : "操作结果";
      QStringList shown;
      WhenShown([] { return QApplication::activeModalWidget(); },
                [&](QWidget* widget) {
                  auto* box = qobject_cast<QMessageBox*>(widget);
                  shown << QString::number(box->icon()) << box->windowTitle()
                        << box->text() << QString::number(box->textFormat())
                        << QString::number(box->buttons().size());
                  QTest::mouseClick(box->button(QMessageBox::Ok),
                                    Qt::LeftButton);
                });
      ShowMessageBox(nullptr, "<b>a&b</b>", title, style);
      QCOMPARE(shown,
               QStringList({QString::number(icon),
                            *title ? title : kApplicationTitle, "<b>a&b</b>",
                            QString::number(Qt::PlainText), "1"}));
    }
  }

  // Only a left click opens, and only the Label3 pair shows the hand.
  void linksOpenOnEveryLeftClick() {
    FrmMain window(fakes_.Services());
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
      QCOMPARE(cursor.hotSpot(), QPoint(5, 0));
      const QImage bitmap = cursor.bitmap().toImage();
      const QImage mask = cursor.mask().toImage();
      QCOMPARE(bitmap.size(), QSize(32, 32));
      // The hot spot is the opaque black fingertip; the corner see-through.
      QCOMPARE(QColor(mask.pixel(5, 0)), QColor(Qt::black));
      QCOMPARE(QColor(bitmap.pixel(5, 0)), QColor(Qt::black));
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
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::FrmMainTest)
#include "frm_main_test.moc"
