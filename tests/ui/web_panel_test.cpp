#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineView>
#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/frm_main.h"

namespace batchext {
namespace {

// Answers every GET on loopback with a page titled after its path.
class PageServer : public QObject {
 public:
  PageServer() {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket,
                [this, socket] { Answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket,
                &QObject::deleteLater);
      }
    });
  }

  bool Listen() { return server_.listen(QHostAddress::LocalHost); }
  QString Url(const QString& path) const {
    return QString("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
  }
  const QStringList& requested() const { return requested_; }

 private:
  void Answer(QTcpSocket* socket) {
    const QByteArray request = socket->readAll();
    const QList<QByteArray> words =
        request.left(request.indexOf('\r')).split(' ');
    const QByteArray path = words.value(1);
    requested_.append(QString::fromLatin1(path));
    const QByteArray body = "<html><head><title>page " + path +
                            "</title></head><body>ad</body></html>";
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
        "Connection: close\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
  }

  QTcpServer server_;
  QStringList requested_;
};

}  // namespace

class WebPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void panelsShowTheirPagesAtTheirPlaces() {
    PageServer server;
    QVERIFY(server.Listen());
    FrmMainServices services;
    services.show = [](const std::string&, const std::string&, MessageStyle) {};
    services.links = {"", "", server.Url("/one.html").toStdString(),
                      server.Url("/two.html").toStdString(), ""};
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* panel1 = window.findChild<QWebEngineView*>("Scriptlet1");
    auto* panel2 = window.findChild<QWebEngineView*>("Scriptlet2");
    QTRY_COMPARE_WITH_TIMEOUT(panel1->title(), QString("page /one.html"),
                              30000);
    QTRY_COMPARE_WITH_TIMEOUT(panel2->title(), QString("page /two.html"),
                              30000);
    QVERIFY(server.requested().contains("/one.html"));
    QVERIFY(server.requested().contains("/two.html"));
    QCOMPARE(panel1->geometry(), QRect(344, 3, 356, 330));
    QCOMPARE(panel2->geometry(), QRect(6, 328, 497, 90));
    // Where Scriptlet2 covers Label3_1, the panel is what shows.
    const QRect overlap = panel2->geometry().intersected(
        window.findChild<QLabel*>("Label3_1")->geometry());
    QVERIFY(!overlap.isEmpty());
    QWidget* on_top = window.childAt(overlap.center());
    QVERIFY(on_top == panel2 || panel2->isAncestorOf(on_top));
  }

  // The views take the focus through proxies that appear once their pages
  // run; Tab must still pass through both panels before the options.
  void tabReachesBothPanelsBeforeTheOptions() {
    FrmMainServices services;
    services.links = {"", "", "about:blank", "about:blank", ""};
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const char* name : {"Scriptlet1", "Scriptlet2"}) {
      auto* panel = window.findChild<QWidget*>(name);
      QTRY_VERIFY_WITH_TIMEOUT(panel->focusProxy(), 30000);
    }
    QTest::qWait(0);
    QStringList order;
    QWidget* widget = window.findChild<QWidget*>("TxtFromHouzui");
    for (; order.size() < 4; widget = widget->nextInFocusChain()) {
      if (!(widget->focusPolicy() & Qt::TabFocus)) continue;
      const bool proxy = widget->objectName().isEmpty();
      order.append(proxy ? widget->parentWidget()->objectName()
                         : widget->objectName());
    }
    QCOMPARE(order,
             QStringList({"TxtFromHouzui", "Scriptlet1", "Scriptlet2", "Chk"}));
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::WebPanelTest)
#include "web_panel_test.moc"
