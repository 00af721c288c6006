#include <QBitmap>
#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QWebEngineView>
#include <memory>
#include <stdexcept>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "tests/ui/ui_test_support.h"
#include "ui/app_icon.h"
#include "ui/frm_main.h"
#include "ui/ico_file.h"

namespace batchext {
namespace {

using testing::MessageLog;

const InfoLinks kLinks{"https://home.example/", "https://task.example/?a=1&b=2",
                       "", "", "联系我们"};

}  // namespace

class InfoLinksTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<FrmMain> MakeWindow(LinkLauncher launcher,
                                      InfoLinks links = kLinks) {
    FrmMainServices services;
    services.pick_folder = [] { return std::string(); };
    services.show = log_.Recorder();
    services.open_link = std::move(launcher);
    services.links = std::move(links);
    return std::make_unique<FrmMain>(std::move(services));
  }

  static void ClickLabel(FrmMain& window, const char* name,
                         Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(window.findChild<QLabel*>(name), button);
  }

  MessageLog log_;

 private slots:
  void init() { log_ = MessageLog(); }

  void labelsOpenTheirAddressOnEveryClick() {
    QStringList opened;
    auto window =
        MakeWindow([&](const QUrl& url) { opened << url.toString(); });
    ClickLabel(*window, "Label3_0");
    ClickLabel(*window, "Label3_1");
    ClickLabel(*window, "Label2");
    ClickLabel(*window, "Label3_0");
    ClickLabel(*window, "Label3_0", Qt::RightButton);
    ClickLabel(*window, "Label2", Qt::MiddleButton);
    const QString task = "https://task.example/?a=1&b=2";
    QCOMPARE(opened, QStringList({task, task, "https://home.example/", task}));
    QCOMPARE(window->findChild<QLabel*>("Label2")->text(), QString("联系我们"));
  }

  void labelsNeverTakeTheFocus() {
    auto window = MakeWindow([](const QUrl&) {});
    for (QLabel* label : window->findChildren<QLabel*>()) {
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
  }

  void launchFailuresAreSilent() {
    int attempts = 0;
    auto window = MakeWindow([&](const QUrl&) {
      ++attempts;
      throw std::runtime_error("no browser");
    });
    ClickLabel(*window, "Label2");
    ClickLabel(*window, "Label3_1");
    QCOMPARE(attempts, 2);
    QVERIFY(log_.messages().empty());
  }

  void cursorsAreTheHandAndTheArrow() {
    auto window = MakeWindow([](const QUrl&) {});
    for (const char* name : {"Label3_0", "Label3_1"}) {
      const QCursor cursor = window->findChild<QLabel*>(name)->cursor();
      QCOMPARE(cursor.shape(), Qt::BitmapCursor);
      QCOMPARE(cursor.hotSpot(), QPoint(5, 0));
      const QImage bitmap = cursor.bitmap().toImage();
      const QImage mask = cursor.mask().toImage();
      QCOMPARE(bitmap.size(), QSize(32, 32));
      // The hot spot is an opaque black pixel, the fingertip; the corner is
      // see-through.
      QCOMPARE(QColor(mask.pixel(5, 0)), QColor(Qt::black));
      QCOMPARE(QColor(bitmap.pixel(5, 0)), QColor(Qt::black));
      QCOMPARE(QColor(mask.pixel(0, 0)), QColor(Qt::white));
    }
    QCOMPARE(window->findChild<QLabel*>("Label2")->cursor().shape(),
             Qt::ArrowCursor);
  }

  // Load moves the panels: Scriptlet1 runs 95 twips past the right edge and
  // Scriptlet2 covers the lower 135 twips of Label3_1, above it.
  void panelsArePlacedAtLoad() {
    auto window = MakeWindow([](const QUrl&) {});
    auto* panel1 = window->findChild<QWebEngineView*>("Scriptlet1");
    auto* panel2 = window->findChild<QWebEngineView*>("Scriptlet2");
    auto* label = window->findChild<QLabel*>("Label3_1");
    QCOMPARE(panel1->geometry().right() + 1 - window->width(), 6);  // 95 twips
    QCOMPARE(label->geometry().bottom() + 1 - panel2->y(), 9);      // 135 twips
    QVERIFY(panel2->geometry().intersects(label->geometry()));
    const QObjectList stack = window->children();  // lowest first
    QVERIFY(stack.indexOf(panel2) > stack.indexOf(label));
    for (QObject* other : stack) {
      auto* sibling = qobject_cast<QWidget*>(other);
      if (sibling && sibling != panel1 &&
          sibling->geometry().intersects(panel1->geometry())) {
        QVERIFY(stack.indexOf(panel1) > stack.indexOf(sibling));
      }
    }
  }

  void rootWithoutSandboxSwitchLeavesPanelsEmpty() {
#if defined(Q_OS_UNIX)
    if (geteuid() != 0 ||
        qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
      QSKIP("needs root with the web sandbox left on");
    }
    InfoLinks links = kLinks;
    links.panel1 = "http://127.0.0.1:9/one.html";
    links.panel2 = "http://127.0.0.1:9/two.html";
    auto window = MakeWindow([](const QUrl&){}, links);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::qWait(200);  // the engine ends the process if it starts as root
    for (const char* name : {"Scriptlet1", "Scriptlet2"}) {
      QVERIFY(window->findChild<QWebEngineView*>(name)->isHidden());
    }
#else
    QSKIP("the root rule is a POSIX one");
#endif
  }

  void iconFileHoldsBothSizes() {
    QByteArray bytes = EncodeIco({AppIconImage(32), AppIconImage(16)});
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    QCOMPARE(reader.imageCount(), 2);
    for (const int size : {32, 16}) {
      const QImage decoded =
          reader.read().convertToFormat(QImage::Format_RGB888);
      QCOMPARE(decoded, AppIconImage(size));
      reader.jumpToNextImage();
    }
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::InfoLinksTest)
#include "info_links_test.moc"
