#include <QWebEngineView>

#include "tests/ui/ui_test_support.h"
#include "ui/qt/frm_main.h"

namespace batchext {
namespace {

using testing::Child;
using testing::Fakes;

// The named control that holds the focus: a page's own widget counts as its
// panel.
QString FocusStop() {
  for (QWidget* widget = QApplication::focusWidget(); widget;
       widget = widget->parentWidget()) {
    if (!widget->objectName().isEmpty()) return widget->objectName();
  }
  return {};
}

// Presses Tab from the first stop until `count` more stops were reached and
// names them. A page may hold stops of its own and hands the focus back on
// its own time, so a press need not change the stop at once.
QStringList Walk(FrmMain& window, Qt::KeyboardModifiers modifiers, int count) {
  Child(window, "CmdBrowseFromFolder")->setFocus();
  QStringList stops{FocusStop()};
  QElapsedTimer clock;
  clock.start();
  while (stops.size() <= count && clock.elapsed() < 60000) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
    for (int waited = 0; FocusStop() == stops.last() && waited < 2000;
         waited += 20) {
      QTest::qWait(20);
    }
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || !focus->isVisible()) return stops << "hidden";
    if (FocusStop() != stops.last()) stops << FocusStop();
  }
  return stops;
}

}  // namespace

class WebPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void panelsShowTheirPagesInPlaceAndInTabOrder() {
    Fakes fakes;
    FrmMainServices services = fakes.Services();
    // A button gives each page a stop of its own.
    const auto page = [](const char* name) {
      return "data:text/html,<title>page " + std::string(name) +
             "</title><button>b</button>";
    };
    services.links.panel1 = page("one");
    services.links.panel2 = page("two");
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* panel1 = Child<QWebEngineView>(window, "Scriptlet1");
    auto* panel2 = Child<QWebEngineView>(window, "Scriptlet2");
    QTRY_COMPARE_WITH_TIMEOUT(panel1->title(), "page one", 30000);
    QTRY_COMPARE_WITH_TIMEOUT(panel2->title(), "page two", 30000);

    // Where Scriptlet2 overlaps Label3_1, the page is what shows.
    const QRect label = Child(window, "Label3_1")->geometry();
    QWidget* shown =
        window.childAt(label.intersected(panel2->geometry()).center());
    QVERIFY(shown == panel2 || panel2->isAncestorOf(shown));

    // Tab walks the table's cycle twice, into each loaded page and out of it
    // again, over stops that can be seen; Shift+Tab walks it back.
    QTRY_VERIFY_WITH_TIMEOUT(panel1->focusProxy() && panel2->focusProxy(),
                             30000);
    const QStringList cycle =
        QString(
            "CmdBrowseFromFolder CmdBrowseTargetFolder TxtHouZui CmdOk "
            "CmdPreview TxtFromHouzui Scriptlet1 Scriptlet2 Chk Chck")
            .split(' ');
    QStringList forward{cycle.first()}, backward{cycle.first()};
    for (int i = 0; i < 2 * cycle.size(); ++i) {
      forward << cycle[(i + 1) % cycle.size()];
    }
    for (int i = cycle.size() - 1; i >= 0; --i) backward << cycle[i];
    QCOMPARE(Walk(window, Qt::NoModifier, forward.size() - 1), forward);
    QCOMPARE(Walk(window, Qt::ShiftModifier, backward.size() - 1), backward);
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::WebPanelTest)
#include "web_panel_test.moc"
