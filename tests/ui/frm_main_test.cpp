#include "ui/frm_main.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/message_box.h"

namespace batchext {
namespace {

using testing::FakePicker;
using testing::MessageLog;
using testing::ShownMessage;
using testing::WhenShown;

constexpr char kBrowseTip[] = "点击此处选择一个文件夹作为处理的目标";
constexpr char kTaskCaption[] =
    "有其它问题需要解决,请单击此处,成千上万优秀人才为您服务";
constexpr char kContactLine[] = "Norvane工作室 联系方式";

enum class Kind { kFrame, kLabel, kButton, kTextBox, kCheckBox, kHtmlView };

// The layout tables, in twips; the panels where load places them.
struct ControlRow {
  const char* name;
  Kind kind;
  const char* parent;
  const char* caption;
  int left, top, width, height;
  qreal points = 0;  // 0 for the panels, which have no font
  bool bold = false;
  QColor text = {};  // left invalid where the table gives none
  const char* tooltip = nullptr;
};

const ControlRow kControls[] = {
    {"Frame1", Kind::kFrame, "FrmMain", "操作区域", 75, 315, 4935, 4470, 14.25},
    {"Label1_0", Kind::kLabel, "Frame1", "选择来源文件夹", 120, 405, 2175, 375,
     14.25},
    {"LblFromFolder", Kind::kLabel, "Frame1", "", 120, 765, 4215, 255, 9},
    {"CmdBrowseFromFolder",
     Kind::kButton,
     "Frame1",
     "…",
     4320,
     765,
     495,
     255,
     9,
     false,
     {},
     kBrowseTip},
    {"Label1_1", Kind::kLabel, "Frame1", "选择目标文件夹", 120, 1125, 2175, 375,
     14.25},
    {"LblTargetFolder", Kind::kLabel, "Frame1", "", 120, 1485, 4215, 255, 9},
    {"CmdBrowseTargetFolder",
     Kind::kButton,
     "Frame1",
     "…",
     4320,
     1485,
     495,
     255,
     9,
     false,
     {},
     kBrowseTip},
    {"Label1_3", Kind::kLabel, "Frame1", "只更改来源文件夹中指定后缀的文件", 60,
     1860, 4695, 375, 14.25},
    {"TxtFromHouzui", Kind::kTextBox, "Frame1", "*", 60, 2220, 4575, 360,
     14.25},
    {"Label1_2", Kind::kLabel, "Frame1", "将来源文件夹中所有文件后缀更改为：",
     60, 2580, 4695, 375, 14.25},
    {"TxtHouZui", Kind::kTextBox, "Frame1", "txt", 60, 2940, 4575, 360, 14.25},
    {"Chck", Kind::kCheckBox, "Frame1", "包括全部子文件夹", 135, 3300, 4560,
     360, 10.5, true},
    {"Chk",
     Kind::kCheckBox,
     "Frame1",
     "如文件名中有多重后缀名,去掉多余的后缀名",
     135,
     3585,
     4560,
     390,
     10.5,
     false,
     {},
     "指\"abc.abc.txt.txt\"这样的文件名,最后将会变成: abc.txt"},
    {"CmdOk", Kind::kButton, "Frame1", "开始批量修改", 885, 3990, 3015, 405,
     14.25},
    {"Scriptlet1", Kind::kHtmlView, "FrmMain", nullptr, 5160, 45, 5345, 4950},
    {"Label3_0", Kind::kLabel, "FrmMain", kTaskCaption, 105, 120, 4950, 270, 9,
     false, QColor(0, 0, 255)},
    {"Label3_1", Kind::kLabel, "FrmMain", kTaskCaption, 60, 4785, 4950, 270, 9,
     false, QColor(0, 0, 255)},
    {"Scriptlet2", Kind::kHtmlView, "FrmMain", nullptr, 90, 4920, 7455, 1350},
    {"Label2", Kind::kLabel, "FrmMain", kContactLine, 7710, 5310, 2415, 930, 9,
     false, QColor(128, 0, 128)},
};

int Px(int twips) { return qRound(twips / 15.0); }

bool IsKind(QWidget* widget, Kind kind) {
  switch (kind) {
    case Kind::kFrame:
      return qobject_cast<QGroupBox*>(widget);
    case Kind::kLabel:
      return qobject_cast<QLabel*>(widget);
    case Kind::kButton:
      return qobject_cast<QPushButton*>(widget);
    case Kind::kTextBox:
      return qobject_cast<QLineEdit*>(widget);
    case Kind::kCheckBox:
      return qobject_cast<QCheckBox*>(widget);
    case Kind::kHtmlView:
      return qobject_cast<QWebEngineView*>(widget);
  }
  return false;
}

QString CaptionOf(QWidget* widget) {
  if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return button->text();
  }
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  return {};
}

bool HasChineseFace(const QFont& font) {
  return QFontDatabase::writingSystems(QFontInfo(font).family())
      .contains(QFontDatabase::SimplifiedChinese);
}

// Files below `root` as sorted relative paths.
QStringList FilesBelow(const QString& root) {
  QStringList files;
  for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
       it.hasNext();) {
    files << QDir(root).relativeFilePath(it.next());
  }
  files.sort();
  return files;
}

void WriteFile(const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("x");
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<FrmMain> MakeWindow(ProgressTiming timing = {}) {
    FrmMainServices services;
    services.pick_folder = picker_.Picker();
    services.show = log_.Recorder();
    services.open_link = [](const QUrl&) {};
    services.links = {"https://home.example/", "https://task.example/", "", "",
                      kContactLine};
    services.progress_timing = timing;
    return std::make_unique<FrmMain>(std::move(services));
  }

  template <typename Control>
  static Control* Find(FrmMain& window, const char* name) {
    return window.findChild<Control*>(name);
  }

  void Click(FrmMain& window, const char* button) {
    QTest::mouseClick(Find<QPushButton>(window, button), Qt::LeftButton);
  }

  FakePicker picker_;
  MessageLog log_;

 private slots:
  void init() {
    picker_ = FakePicker();
    log_ = MessageLog();
  }

  void controlsMatchTheLayoutTables() {
    auto window = MakeWindow();
    for (const ControlRow& row : kControls) {
      const QByteArray context = QByteArray("control ") + row.name;
      QWidget* control = window->findChild<QWidget*>(row.name);
      QVERIFY2(control, context);
      QVERIFY2(IsKind(control, row.kind), context);
      QCOMPARE(control->parentWidget()->objectName(), QString(row.parent));
      if (row.caption) QCOMPARE(CaptionOf(control), QString(row.caption));
      QCOMPARE(control->geometry(),
               QRect(Px(row.left), Px(row.top), Px(row.width), Px(row.height)));
      QCOMPARE(control->toolTip(), QString(row.tooltip ? row.tooltip : ""));
      if (row.text.isValid()) {
        QCOMPARE(control->palette().color(QPalette::WindowText), row.text);
      }
      if (row.points == 0) continue;
      const QFont font = control->font();
      QCOMPARE(font.families().value(0), QString("宋体"));
      QCOMPARE(font.pointSizeF(), row.points);
      QCOMPARE(font.bold(), row.bold);
      QVERIFY2(HasChineseFace(font), context);
    }
  }

  void windowIsFixedWithCloseBoxOnly() {
    auto window = MakeWindow();
    QCOMPARE(window->objectName(), QString("FrmMain"));
    QCOMPARE(window->windowTitle(), QString("直接批量修改文件的后缀名"));
    QCOMPARE(window->minimumSize(), QSize(694, 423));
    QCOMPARE(window->maximumSize(), QSize(694, 423));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    const QList<QSize> sizes = window->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
  }

  void startsEmptyWithFocusOnTheSourceButton() {
    auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(),
             QString("CmdBrowseFromFolder"));
    QVERIFY(Find<QLabel>(*window, "LblFromFolder")->text().isEmpty());
    QVERIFY(Find<QLabel>(*window, "LblTargetFolder")->text().isEmpty());
    QVERIFY(!Find<QCheckBox>(*window, "Chk")->isChecked());
    QVERIFY(!Find<QCheckBox>(*window, "Chck")->isChecked());
    const ConversionSettings& settings = window->settings();
    QVERIFY(settings.FromFolder.empty() && settings.TargetFolder.empty());
    QVERIFY(settings.FromExt.empty() && settings.ToExt.empty());
    QCOMPARE(settings.SuccessCount + settings.FailCount, 0);
    for (const char* field : {"LblFromFolder", "LblTargetFolder"}) {
      QLabel* label = Find<QLabel>(*window, field);
      QVERIFY(label->autoFillBackground());
      QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::white));
    }
    QVERIFY(Find<QLabel>(*window, "Label2")->wordWrap());
    // No length limit: a long text survives whole.
    QLineEdit* box = Find<QLineEdit>(*window, "TxtHouZui");
    box->setText(QString(40000, 'x'));
    QCOMPARE(box->text().size(), 40000);
  }

  void tabVisitsTheControlsInOrder() {
    auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // The panels have nothing to show here, so they stay out of the way.
    const QStringList expected{"CmdBrowseTargetFolder", "TxtHouZui", "CmdOk",
                               "TxtFromHouzui",         "Chk",       "Chck",
                               "CmdBrowseFromFolder"};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, expected);
  }

  void browseHandlers_data() {
    QTest::addColumn<QStringList>("steps");  // "from:answer", "target:answer"
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("source presets the target")
        << QStringList{"from:/data/photos"} << "/data/photos"
        << "/data/photos(2)"
        << "";
    QTest::newRow("root source") << QStringList{"from:/"} << "/"
                                 << "/(2)"
                                 << "";
    QTest::newRow("target alone") << QStringList{"target:/out"} << ""
                                  << "/out"
                                  << "";
    QTest::newRow("target first is replaced by the preset")
        << QStringList{"target:/out", "from:/in"} << "/in"
        << "/in(2)"
        << "";
    QTest::newRow("target after source replaces only the target")
        << QStringList{"from:/in", "target:/out"} << "/in"
        << "/out"
        << "";
    QTest::newRow("cancel keeps both")
        << QStringList{"from:/in", "target:/out", "from:", "target:"} << "/in"
        << "/out"
        << "";
    QTest::newRow("failing source pick")
        << QStringList{"from:/in", QString("from:") + FakePicker::kThrow}
        << "/in"
        << "/in(2)"
        << "没有成功选择来源文件夹";
    QTest::newRow("failing target pick")
        << QStringList{"from:/in", QString("target:") + FakePicker::kThrow}
        << "/in"
        << "/in(2)"
        << "没有成功选择目标文件夹";
    QTest::newRow("unicode path")
        << QStringList{"from:/数据/照片 2024"} << "/数据/照片 2024"
        << "/数据/照片 2024(2)"
        << "";
  }

  void browseHandlers() {
    QFETCH(QStringList, steps);
    QFETCH(QString, from);
    QFETCH(QString, target);
    QFETCH(QString, message);
    auto window = MakeWindow();
    for (const QString& step : steps) {
      const QString button = step.section(':', 0, 0);
      picker_.Answer(step.section(':', 1).toStdString());
      Click(*window,
            button == "from" ? "CmdBrowseFromFolder" : "CmdBrowseTargetFolder");
    }
    QCOMPARE(QString::fromStdString(window->settings().FromFolder), from);
    QCOMPARE(QString::fromStdString(window->settings().TargetFolder), target);
    QCOMPARE(Find<QLabel>(*window, "LblFromFolder")->text(), from);
    QCOMPARE(Find<QLabel>(*window, "LblTargetFolder")->text(), target);
    std::vector<ShownMessage> expected;
    if (!message.isEmpty()) {
      expected.push_back(
          {message.toStdString(), "无法操作", MessageStyle::kWarning});
    }
    QVERIFY(log_.messages() == expected);
  }

  // A browse started while another one's dialog is open finishes first; the
  // outer one applies its answer afterwards.
  void nestedBrowsesUnwindFromTheInside() {
    auto window = MakeWindow();
    // The inner call answers first.
    picker_.Answer("/inner-target");
    picker_.Answer("/outer-source");
    picker_.DuringNextCall([&] { Click(*window, "CmdBrowseTargetFolder"); });
    Click(*window, "CmdBrowseFromFolder");
    QCOMPARE(picker_.calls(), 2);
    // The outer source pick applied its preset after the inner target pick.
    QCOMPARE(window->settings().FromFolder, std::string("/outer-source"));
    QCOMPARE(window->settings().TargetFolder, std::string("/outer-source(2)"));
  }

  void okShowsEachRequestMessage() {
    struct Case {
      bool folders;
      const char* from_text;
      const char* to_text;
      ShownMessage message;
    };
    const Case cases[] = {
        {false,
         "*",
         "txt",
         {"请务必先选择来源文件夹以及执行后存储所用的目标文件夹", "选择文件夹",
          MessageStyle::kError}},
        {true,
         "*",
         "   ",
         {"你没有指定转换后的文件的后缀名。", "参数设置不全",
          MessageStyle::kWarning}},
        {true,
         " txt ",
         "txt",
         {"原来的后缀名与转换的后缀名一样。", "参数设置错误",
          MessageStyle::kWarning}},
        // A blank source extension stands for every file, "*".
        {true,
         "  ",
         "*",
         {"原来的后缀名与转换的后缀名一样。", "参数设置错误",
          MessageStyle::kWarning}},
    };
    for (const Case& c : cases) {
      log_ = MessageLog();
      auto window = MakeWindow();
      if (c.folders) {
        picker_.Answer("/nonexistent-source");
        Click(*window, "CmdBrowseFromFolder");
      }
      Find<QLineEdit>(*window, "TxtFromHouzui")->setText(c.from_text);
      Find<QLineEdit>(*window, "TxtHouZui")->setText(c.to_text);
      Click(*window, "CmdOk");
      QVERIFY2(log_.messages() == std::vector<ShownMessage>{c.message},
               c.message.text.c_str());
    }
  }

  void okRunsTheConversionWithBothOptions() {
    QTemporaryDir temp;
    const QString in = temp.filePath("in");
    for (const char* name :
         {"a.doc", "b.b.doc", "c.txt", "照片.doc", "sub/d.doc"}) {
      WriteFile(in + "/" + name);
    }
    auto window = MakeWindow();
    picker_.Answer(in.toStdString());
    Click(*window, "CmdBrowseFromFolder");
    Find<QLineEdit>(*window, "TxtFromHouzui")->setText("doc");
    for (const char* option : {"Chk", "Chck"}) {
      QCheckBox* box = Find<QCheckBox>(*window, option);
      QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    Click(*window, "CmdOk");
    const std::vector<ShownMessage> expected{
        {"成功修改了4个文件的后缀名，失败0个文件", "操作结果",
         MessageStyle::kInformation}};
    QCOMPARE(FilesBelow(in + "(2)").join('|'),
             QString("a.txt|b.txt|sub/d.txt|照片.txt"));
    QVERIFY(log_.messages() == expected);
  }

  void enterAndEscapeRunNothing() {
    auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    for (const char* name : {"TxtFromHouzui", "TxtHouZui"}) {
      QLineEdit* box = Find<QLineEdit>(*window, name);
      box->setFocus();
      QTest::keyClick(box, Qt::Key_Return);
      QTest::keyClick(box, Qt::Key_Enter);
      QTest::keyClick(box, Qt::Key_Escape);
    }
    QVERIFY(log_.messages().empty());
    QVERIFY(window->isVisible());
  }

  void longRunShowsProgressAndCancelStops() {
    QTemporaryDir temp;
    const QString in = temp.filePath("in");
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i) {
      WriteFile(in + QString("/f%1.doc").arg(i, 2, 10, QChar('0')));
    }
    auto window = MakeWindow(
        {std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    picker_.Answer(in.toStdString());
    Click(*window, "CmdBrowseFromFolder");
    Find<QLineEdit>(*window, "TxtFromHouzui")->setText("doc");

    const QRegularExpression handled("已处理(\\d+)个文件");
    QString label;
    bool modal = false;
    // Cancel once the dialog has reported a few files.
    WhenShown(
        [&]() -> QWidget* {
          auto* dialog =
              qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
          if (!dialog) return nullptr;
          const auto match = handled.match(dialog->labelText());
          return match.hasMatch() && match.captured(1).toInt() >= 5 ? dialog
                                                                    : nullptr;
        },
        [&](QWidget* widget) {
          auto* dialog = static_cast<QProgressDialog*>(widget);
          label = dialog->labelText();
          modal = dialog->windowModality() == Qt::ApplicationModal;
          QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
    Click(*window, "CmdOk");

    QVERIFY(modal);
    QVERIFY2(label.contains("当前文件夹：" + QDir::toNativeSeparators(in)),
             qPrintable(label));
    const int converted = window->settings().SuccessCount;
    QVERIFY2(converted >= 5 && converted < kFiles,
             qPrintable(QString::number(converted)));
    QCOMPARE(FilesBelow(in + "(2)").size(), converted);
    const std::vector<ShownMessage> expected{
        {"成功修改了" + std::to_string(converted) +
             "个文件的后缀名，失败0个文件",
         "操作结果", MessageStyle::kInformation}};
    QVERIFY(log_.messages() == expected);
  }

  // The real show operation: the style's icon, the title (the
  // application's where none is given), plain text and one OK button.
  void messageBoxShowsStyleTitleAndOneButton() {
    const struct {
      MessageStyle style;
      const char* title;
      QMessageBox::Icon icon;
      const char* shown_title;
    } cases[] = {
        {MessageStyle::kPlain, "", QMessageBox::NoIcon,
         "直接批量修改文件的后缀名"},
        {MessageStyle::kError, "选择文件夹", QMessageBox::Critical,
         "选择文件夹"},
        {MessageStyle::kWarning, "无法操作", QMessageBox::Warning, "无法操作"},
        {MessageStyle::kInformation, "操作结果", QMessageBox::Information,
         "操作结果"},
    };
    for (const auto& c : cases) {
      QStringList shown;
      WhenShown(
          [] {
            return qobject_cast<QMessageBox*>(
                QApplication::activeModalWidget());
          },
          [&](QWidget* widget) {
            auto* box = static_cast<QMessageBox*>(widget);
            shown << QString::number(box->icon()) << box->windowTitle()
                  << box->text() << QString::number(box->buttons().size());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
          });
      ShowMessageBox(nullptr, "<b>a&b</b>", c.title, c.style);
      QCOMPARE(shown, QStringList({QString::number(c.icon), c.shown_title,
                                   "<b>a&b</b>", "1"}));
    }
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::FrmMainTest)
#include "frm_main_test.moc"
