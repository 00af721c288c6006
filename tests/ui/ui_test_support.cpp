#include "tests/ui/ui_test_support.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <utility>

namespace batchext::testing {

ShowMessage MessageLog::Recorder() {
  return [this](const std::string& text, const std::string& title,
                MessageStyle style) {
    messages_.push_back({text, title, style});
  };
}

FolderPicker FakePicker::Picker() {
  return [this] { return Pick(); };
}

std::string FakePicker::Pick() {
  ++calls_;
  if (during_next_) std::exchange(during_next_, nullptr)();
  if (answers_.empty()) throw std::logic_error("no answer prepared");
  std::string answer = answers_.front();
  answers_.pop_front();
  if (answer == kThrow) throw std::runtime_error("picker failed");
  return answer;
}

void WhenShown(std::function<QWidget*()> find,
               std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (QWidget* widget = find(); widget && widget->isVisible()) {
      timer->deleteLater();
      timer->stop();
      action(widget);
    } else if (clock->elapsed() > 10000) {
      timer->deleteLater();
      timer->stop();
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
      }
    }
  });
  timer->start(5);
}

}  // namespace batchext::testing
