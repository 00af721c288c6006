#pragma once

#include <QProxyStyle>

namespace batchext {

// The application's style with the borders of text boxes and check boxes
// drawn dark enough to be found against the window (3:1 at least).
class ContrastStyle : public QProxyStyle {
  Q_OBJECT

 public:
  ContrastStyle();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                     QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace batchext
