#pragma once

#include <QRect>

#include "ui/form/twips.h"

namespace batchext {

// Qt's device-independent pixel is the 96-dots-per-inch pixel; high-DPI
// scaling does the rest.
inline QRect ToPixels(const TwipRect& rect) {
  return QRect(TwipsToPixels(rect.left), TwipsToPixels(rect.top),
               TwipsToPixels(rect.width), TwipsToPixels(rect.height));
}

}  // namespace batchext
