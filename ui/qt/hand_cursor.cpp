#include "ui/qt/hand_cursor.h"

#include <QBitmap>
#include <QImage>
#include <array>
#include <cstdio>

namespace batchext {
namespace {

// The same picture the Windows build turns into its cursor resource. Its
// colours are ' ' transparent, '#' black and '.' white.
#include "ui/icons/hand_cursor.xpm"

constexpr int kSize = 32;

// One bit a pixel, least significant bit first, as QBitmap::fromData reads.
using Bits = std::array<uchar, kSize * kSize / 8>;

void SetBit(Bits& bits, int x, int y) {
  bits[(y * kSize + x) / 8] |= static_cast<uchar>(1 << (x % 8));
}

}  // namespace

QCursor HandCursor() {
  int width = 0, height = 0, colours = 0, chars = 0, hot_x = 0, hot_y = 0;
  std::sscanf(kHandCursor[0], "%d %d %d %d %d %d", &width, &height, &colours,
              &chars, &hot_x, &hot_y);
  Bits black{};   // set: black, clear: white
  Bits opaque{};  // set: drawn, clear: transparent
  for (int y = 0; y < height && y < kSize; ++y) {
    const char* row = kHandCursor[1 + colours + y];
    for (int x = 0; x < width && x < kSize; ++x) {
      if (row[x] == ' ') continue;
      SetBit(opaque, x, y);
      if (row[x] == '#') SetBit(black, x, y);
    }
  }
  const QSize size(kSize, kSize);
  return QCursor(QBitmap::fromData(size, black.data(), QImage::Format_MonoLSB),
                 QBitmap::fromData(size, opaque.data(), QImage::Format_MonoLSB),
                 hot_x, hot_y);
}

}  // namespace batchext
