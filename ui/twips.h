#pragma once

#include <QRect>

namespace batchext {

// The window is laid out in twips. Qt's device-independent pixel is the
// 96-dots-per-inch pixel, 15 twips wide; high-DPI scaling does the rest.
inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect TwipRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
               TwipsToPixels(height));
}

}  // namespace batchext
