#include "ui/qt/path_field.h"

#include <QEvent>
#include <QFontMetricsF>

namespace batchext {
namespace {

// Room between the text and the field's edges.
constexpr int kPadding = 2;

}  // namespace

PathField::PathField(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setContentsMargins(kPadding, 0, kPadding, 0);
}

void PathField::SetPath(const QString& path) {
  path_ = path;
  setToolTip(path);
  Elide();
}

void PathField::KeepTextClearOfRight(int pixels) {
  setContentsMargins(kPadding, 0, kPadding + pixels, 0);
  Elide();
}

void PathField::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void PathField::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) Elide();
}

// A scaled screen may draw the text a fraction of a pixel wider than the
// metrics say; one pixel to spare keeps it inside.
void PathField::Elide() {
  const qreal width = contentsRect().width() - 1;
  setText(QFontMetricsF(font()).elidedText(path_, Qt::ElideMiddle, width));
}

}  // namespace batchext
