#include "ui/frm_main.h"

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
#include <span>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_support.h"
#include "ui/app_icon.h"
#include "ui/ico_file.h"
#include "ui/message_box.h"

namespace batchext {
namespace {

using testing::Child;
using testing::Click;
using testing::TempTree;
using testing::WhenShown;

constexpr char kBrowseTip[] = "点击此处选择一个文件夹作为处理的目标";
constexpr char kStripTip[] =
    "指\"abc.abc.txt.txt\"这样的文件名,最后将会变成: abc.txt";
constexpr char kTask[] =
    "有其它问题需要解决,请单击此处,成千上万优秀人才为您服务";
constexpr QRgb kWhite = 0xffffffff;

// A control as the layout tables give it, in twips; the panels where load
// moves them. No size: no font of its own; colour 0: the style's.
struct Row {
  const char* name;
  const char* kind;
  const char* caption;
  int left, top, width, height;
  qreal points = 0;
  const char* tip = "";
  QRgb fore = 0, back = 0;
  bool bold = false;
};

const Row kWindowRows[] = {
    {"Frame1", "QGroupBox", "操作区域", 75, 315, 4935, 4470, 14.25},
    {"Scriptlet1", "QWebEngineView", "", 5160, 45, 5345, 4950},
    {"Label3_0", "QLabel", kTask, 105, 120, 4950, 270, 9, "", 0xff0000ff},
    {"Label3_1", "QLabel", kTask, 60, 4785, 4950, 270, 9, "", 0xff0000ff},
    {"Scriptlet2", "QWebEngineView", "", 90, 4920, 7455, 1350},
    {"Label2", "QLabel", "联系我们", 7710, 5310, 2415, 930, 9, "", 0xff800080},
};

const Row kFrameRows[] = {
    {"Label1_0", "QLabel", "选择来源文件夹", 120, 405, 2175, 375, 14.25},
    {"LblFromFolder", "QLabel", "", 120, 765, 4215, 255, 9, "", 0, kWhite},
    {"CmdBrowseFromFolder", "QPushButton", "…", 4320, 765, 495, 255, 9,
     kBrowseTip},
    {"Label1_1", "QLabel", "选择目标文件夹", 120, 1125, 2175, 375, 14.25},
    {"LblTargetFolder", "QLabel", "", 120, 1485, 4215, 255, 9, "", 0, kWhite},
    {"CmdBrowseTargetFolder", "QPushButton", "…", 4320, 1485, 495, 255, 9,
     kBrowseTip},
    {"Label1_3", "QLabel", "只更改来源文件夹中指定后缀的文件", 60, 1860, 4695,
     375, 14.25},
    {"TxtFromHouzui", "QLineEdit", "*", 60, 2220, 4575, 360, 14.25},
    {"Label1_2", "QLabel", "将来源文件夹中所有文件后缀更改为：", 60, 2580, 4695,
     375, 14.25},
    {"TxtHouZui", "QLineEdit", "txt", 60, 2940, 4575, 360, 14.25},
    {"Chck", "QCheckBox", "包括全部子文件夹", 135, 3300, 4560, 360, 10.5, "", 0,
     0, true},
    {"Chk", "QCheckBox", "如文件名中有多重后缀名,去掉多余的后缀名", 135, 3585,
     4560, 390, 10.5, kStripTip},
    {"CmdOk", "QPushButton", "开始批量修改", 885, 3990, 3015, 405, 14.25},
};

int Px(int twips) { return qRound(twips / 15.0); }

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

// Clicks on the window, '|' between them: 'F' or 'T' for a browse button
// with the picker's answer after it; 'O' for OK with the two extension
// boxes' texts after it, ',' between them. Then what the window holds and
// the messages it showed, one a line.
const struct {
  const char* clicks;
  const char* from;
  const char* target;
  const char* shown;
} kClickCases[] = {
    {"F/data/photos", "/data/photos", "/data/photos(2)", ""},
    {"F/", "/", "/(2)", ""},
    {"F/数据/照片 2024", "/数据/照片 2024", "/数据/照片 2024(2)", ""},
    {"T/out", "", "/out", ""},
    {"T/out|F/in", "/in", "/in(2)", ""},
    {"F/in|T/out", "/in", "/out", ""},
    {"F/in|T/out|F|T", "/in", "/out", ""},
    {"F/in|F<throw>", "/in", "/in(2)",
     "无法操作|没有成功选择来源文件夹|warning"},
    {"F/in|T<throw>", "/in", "/in(2)",
     "无法操作|没有成功选择目标文件夹|warning"},
    {"O*,txt", "", "",
     "选择文件夹|请务必先选择来源文件夹以及执行后存储所用的目标文件夹|error"},
    {"T/out|O*,txt", "", "/out",
     "选择文件夹|请务必先选择来源文件夹以及执行后存储所用的目标文件夹|error"},
    {"F/none|O*,   ", "/none", "/none(2)",
     "参数设置不全|你没有指定转换后的文件的后缀名。|warning"},
    {"F/none|O txt ,txt", "/none", "/none(2)",
     "参数设置错误|原来的后缀名与转换的后缀名一样。|warning"},
    // A blank source extension stands for every file, "*".
    {"F/none|O  ,*", "/none", "/none(2)",
     "参数设置错误|原来的后缀名与转换的后缀名一样。|warning"},
};

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

  void windowMatchesTheLayoutTables() {
    FrmMain window(fakes_.Services());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.windowTitle(), "直接批量修改文件的后缀名");
    QCOMPARE(window.minimumSize(), QSize(694, 423));
    QCOMPARE(window.maximumSize(), QSize(694, 423));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint &&
            flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags &
              (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    const std::pair<const char*, std::span<const Row>> tables[] = {
        {"FrmMain", kWindowRows}, {"Frame1", kFrameRows}};
    for (const auto& [parent, rows] : tables) {
      for (const Row& row : rows) {
        QWidget* control = Child(window, row.name);
        QVERIFY2(control && control->inherits(row.kind), row.name);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        const bool frame = control->inherits("QGroupBox");
        QCOMPARE(control->property(frame ? "title" : "text").toString(),
                 row.caption);
        QCOMPARE(control->geometry(), QRect(Px(row.left), Px(row.top),
                                            Px(row.width), Px(row.height)));
        QCOMPARE(control->toolTip(), row.tip);
        const QPalette& palette = control->palette();
        if (row.fore) {
          QCOMPARE(palette.color(QPalette::WindowText).rgba(), row.fore);
        }
        if (row.back) {
          QVERIFY(control->autoFillBackground());
          QCOMPARE(palette.color(QPalette::Window).rgba(), row.back);
        }
        if (frame || control->inherits("QLabel")) {
          QCOMPARE(control->focusPolicy(), Qt::NoFocus);
        }
        if (row.points == 0) continue;
        const QFont font = control->font();
        QCOMPARE(font.families().value(0), "宋体");
        QCOMPARE(font.pointSizeF(), row.points);
        QCOMPARE(font.bold(), row.bold);
        QVERIFY2(QFontDatabase::writingSystems(QFontInfo(font).family())
                     .contains(QFontDatabase::SimplifiedChinese),
                 row.name);
      }
    }

    QVERIFY(!Child<QCheckBox>(window, "Chk")->isChecked());
    QVERIFY(!Child<QCheckBox>(window, "Chck")->isChecked());
    QVERIFY(Child<QLabel>(window, "Label2")->wordWrap());
    auto* box = Child<QLineEdit>(window, "TxtHouZui");
    box->setText(QString(40000, 'x'));  // no length limit
    QCOMPARE(box->text().size(), 40000);

    // The empty panels stay out of the way.
    QCOMPARE(QApplication::focusWidget()->objectName(), "CmdBrowseFromFolder");
    const QStringList order{"CmdBrowseTargetFolder", "TxtHouZui", "CmdOk",
                            "TxtFromHouzui",         "Chk",       "Chck",
                            "CmdBrowseFromFolder"};
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

  void handlersFollowTheClicks_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kClickCases)); ++i) {
      QTest::newRow(kClickCases[i].clicks) << i;
    }
  }

  void handlersFollowTheClicks() {
    QFETCH(int, index);
    const auto& c = kClickCases[index];
    FrmMain window(fakes_.Services());
    for (const QString& click : QString(c.clicks).split('|')) {
      const QString rest = click.mid(1);
      if (click[0] == 'O') {
        Child<QLineEdit>(window, "TxtFromHouzui")
            ->setText(rest.section(',', 0, 0));
        Child<QLineEdit>(window, "TxtHouZui")->setText(rest.section(',', 1));
        Click(window, "CmdOk");
        continue;
      }
      fakes_.answers.push_back(rest.toStdString());
      Click(window,
            click[0] == 'F' ? "CmdBrowseFromFolder" : "CmdBrowseTargetFolder");
    }
    QCOMPARE(QString::fromStdString(window.settings().FromFolder), c.from);
    QCOMPARE(QString::fromStdString(window.settings().TargetFolder), c.target);
    QCOMPARE(Child<QLabel>(window, "LblFromFolder")->text(), c.from);
    QCOMPARE(Child<QLabel>(window, "LblTargetFolder")->text(), c.target);
    QCOMPARE(fakes_.shown.join('\n'), c.shown);
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

  // Only a left click opens, a failing launch shows nothing, and only the
  // Label3 pair shows the hand.
  void linksOpenOnEveryLeftClick_data() {
    QTest::addColumn<bool>("launch_fails");
    QTest::newRow("browser starts") << false;
    QTest::newRow("browser fails") << true;
  }

  void linksOpenOnEveryLeftClick() {
    QFETCH(bool, launch_fails);
    fakes_.launch_fails = launch_fails;
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
