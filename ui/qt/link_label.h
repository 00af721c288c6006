#pragma once

#include <QLabel>

namespace batchext {

// A caption that reacts to a left mouse click and to nothing else: it takes
// no focus and has no access key. Assistive tools meet it as a link that
// can be pressed.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace batchext
