#include "ui/qt/link_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>

namespace batchext {
namespace {

// A screen reader offers a label's text only as text; this one says it is a
// link and lets the reader press it as a click would.
class AccessibleLink : public QAccessibleWidget {
 public:
  explicit AccessibleLink(LinkLabel* label)
      : QAccessibleWidget(label, QAccessible::Link) {}

  QString text(QAccessible::Text kind) const override {
    const QString text = QAccessibleWidget::text(kind);
    if (kind != QAccessible::Name || !text.isEmpty()) return text;
    return static_cast<const LinkLabel*>(widget())->text();
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.linked = true;
    return state;
  }

  QStringList actionNames() const override { return {pressAction()}; }

  void doAction(const QString& action) override {
    if (action == pressAction())
      emit static_cast<LinkLabel*>(widget())->clicked();
  }
};

QAccessibleInterface* LinkInterface(const QString& class_name,
                                    QObject* object) {
  if (class_name != QLatin1String(LinkLabel::staticMetaObject.className())) {
    return nullptr;
  }
  return new AccessibleLink(static_cast<LinkLabel*>(object));
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
  // Qt keeps the factories for the life of the program; one is enough.
  static const bool announced =
      (QAccessible::installFactory(LinkInterface), true);
  (void)announced;
  setTextFormat(Qt::PlainText);
  setFocusPolicy(Qt::NoFocus);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

// A click is a press and a release of the left button over the label.
void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

}  // namespace batchext
