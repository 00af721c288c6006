#pragma once

#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_settings.h"
#include "ui/application.h"
#include "ui/select_folder.h"

// QTEST_MAIN with the application prepared as the program prepares it.
#define BATCHEXT_UI_TEST_MAIN(TestClass)    \
  int main(int argc, char* argv[]) {        \
    batchext::PrepareApplication();         \
    QApplication application(argc, argv);   \
    TestClass test;                         \
    return QTest::qExec(&test, argc, argv); \
  }

namespace batchext::testing {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageStyle style;
  bool operator==(const ShownMessage&) const = default;
};

// A show operation that records instead of showing.
class MessageLog {
 public:
  ShowMessage Recorder();
  const std::vector<ShownMessage>& messages() const { return messages_; }

 private:
  std::vector<ShownMessage> messages_;
};

// A folder picker answering from a queue; kThrow makes a call fail.
class FakePicker {
 public:
  static constexpr char kThrow[] = "<throw>";

  void Answer(std::string answer) { answers_.push_back(std::move(answer)); }
  // Runs during the next call, before it answers, as a click made while a
  // real dialog would be open.
  void DuringNextCall(std::function<void()> action) {
    during_next_ = std::move(action);
  }
  FolderPicker Picker();
  int calls() const { return calls_; }

 private:
  std::string Pick();

  std::deque<std::string> answers_;
  std::function<void()> during_next_;
  int calls_ = 0;
};

// Polls the event loop for a visible top-level widget that `find` returns
// and runs `action` on it once. Gives up after ten seconds, closing every
// dialog so that a waiting call returns and the test fails instead of hangs.
void WhenShown(std::function<QWidget*()> find,
               std::function<void(QWidget*)> action);

}  // namespace batchext::testing
