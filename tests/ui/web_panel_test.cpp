#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineView>

#include "tests/ui/ui_test_support.h"
#include "ui/qt/frm_main.h"

namespace batchext {
namespace {

using testing::Child;
using testing::Fakes;

// Answers every GET with a page titled after its path.
void ServePages(QTcpServer& server) {
  QObject::connect(&server, &QTcpServer::newConnection, [&server] {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
        const QByteArray path = socket->readAll().split(' ').value(1);
        const QByteArray page = "<title>page " + path + "</title>";
        socket->write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
            "Connection: close\r\nContent-Length: " +
            QByteArray::number(page.size()) + "\r\n\r\n" + page);
        socket->disconnectFromHost();
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket,
                       &QObject::deleteLater);
    }
  });
}

}  // namespace

class WebPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void panelsShowTheirPagesInPlaceAndInTabOrder() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    ServePages(server);
    const std::string site =
        "http://127.0.0.1:" + std::to_string(server.serverPort());
    Fakes fakes;
    FrmMainServices services = fakes.Services();
    services.links.panel1 = site + "/one.html";
    services.links.panel2 = site + "/two.html";
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* panel1 = Child<QWebEngineView>(window, "Scriptlet1");
    auto* panel2 = Child<QWebEngineView>(window, "Scriptlet2");
    QTRY_COMPARE_WITH_TIMEOUT(panel1->title(), "page /one.html", 30000);
    QTRY_COMPARE_WITH_TIMEOUT(panel2->title(), "page /two.html", 30000);

    // Scriptlet1 runs 95 twips past the right edge; Scriptlet2 covers the
    // lower 135 twips of Label3_1 and is what shows there.
    const QRect label = Child(window, "Label3_1")->geometry();
    QCOMPARE(panel1->geometry().right() + 1 - window.width(), 6);
    QCOMPARE(label.bottom() + 1 - panel2->y(), 9);
    QWidget* shown =
        window.childAt(label.intersected(panel2->geometry()).center());
    QVERIFY(shown == panel2 || panel2->isAncestorOf(shown));

    // The views take the focus through proxies that appear once their pages
    // run; Tab must still pass through both before the options.
    QTRY_VERIFY_WITH_TIMEOUT(panel1->focusProxy() && panel2->focusProxy(),
                             30000);
    QTest::qWait(0);
    QStringList order;
    for (QWidget* widget = Child(window, "TxtFromHouzui"); order.size() < 4;
         widget = widget->nextInFocusChain()) {
      if (!(widget->focusPolicy() & Qt::TabFocus)) continue;
      const bool proxy = widget->objectName().isEmpty();
      order << (proxy ? widget->parentWidget() : widget)->objectName();
    }
    QCOMPARE(order,
             QStringList({"TxtFromHouzui", "Scriptlet1", "Scriptlet2", "Chk"}));
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::WebPanelTest)
#include "web_panel_test.moc"
