#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "ui/qt/application.h"
#include "ui/qt/frm_main.h"

// QTEST_MAIN with the application prepared as the program prepares it.
#define BATCHEXT_UI_TEST_MAIN(TestClass)    \
  int main(int argc, char* argv[]) {        \
    batchext::PrepareApplication();         \
    QApplication application(argc, argv);   \
    batchext::TranslateQtTexts();           \
    TestClass test;                         \
    return QTest::qExec(&test, argc, argv); \
  }

namespace batchext::testing {

// Stand-ins for every service of the window, recording what it asks for.
// They must outlive the windows wired to them.
struct Fakes {
  FrmMainServices Services() {
    FrmMainServices services;
    services.pick_folder = [this] {
      if (answers.empty()) throw std::logic_error("no answer prepared");
      const std::string answer = answers.front();
      answers.pop_front();
      if (answer == "<throw>") throw std::runtime_error("picker failed");
      return answer;
    };
    services.show = [this](const std::string& text, const std::string& title,
                           MessageStyle style, const std::string& more) {
      shown << QString("%1|%2|%3")
                   .arg(title.c_str(), text.c_str())
                   .arg(static_cast<int>(style));
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (qobject_cast<QProgressDialog*>(top) && top->isVisible()) {
          ++shown_over_progress;
        }
      }
      details << QString::fromStdString(more);
    };
    // No browser starts here: every launch fails once recorded.
    services.open_link = [this](const std::string& address) {
      opened << QString::fromStdString(address);
      throw std::runtime_error("no browser");
    };
    services.links = {"https://home.example/", "https://task.example/?a=1&b=2",
                      "", "", "联系我们"};
    return services;
  }

  std::deque<std::string> answers;  // of the next picks; "<throw>" fails one
  QStringList shown;                // "title|text|style as a number"
  QStringList details;              // of each box shown
  QStringList opened;
  int shown_over_progress = 0;  // boxes shown with a progress dialog still up
};

template <typename Control = QWidget>
Control* Child(const QWidget& parent, const char* name) {
  return parent.findChild<Control*>(name);
}

inline void Click(const QWidget& window, const char* name) {
  QTest::mouseClick(Child<QAbstractButton>(window, name), Qt::LeftButton);
}

// Polls the event loop for a visible top-level widget that `find` returns
// and runs `action` on it once. Gives up after ten seconds, closing every
// dialog so that a waiting call returns and the test fails instead of hangs.
inline void WhenShown(std::function<QWidget*()> find,
                      std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  timer->setObjectName("WhenShown");
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* widget = find();
    const bool shown = widget && widget->isVisible();
    if (!shown && clock->elapsed() < 10000) return;
    timer->stop();
    timer->deleteLater();
    if (shown) return action(widget);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
    }
  });
  timer->start(5);
}

// Drops the waits a failed test left behind, with their dangling captures.
inline void DropPendingWaits() {
  qDeleteAll(
      qApp->findChildren<QTimer*>("WhenShown", Qt::FindDirectChildrenOnly));
}

}  // namespace batchext::testing
