#include "ui/qt/hand_cursor.h"

#include <QBitmap>
#include <QImage>
#include <array>

namespace batchext {
namespace {

constexpr int kSize = 32;
constexpr int kHotX = 5;
constexpr int kHotY = 0;

// '#' black, '.' white, ' ' transparent. Rows below the art are transparent.
constexpr const char* kHand[] = {
    "     ##",           "    #..#",          "    #..#",
    "    #..#",          "    #..#",          "    #..###",
    "    #..#..###",     "    #..#..#..##",   "    #..#..#..#.#",
    "### #..#..#..#..#", "#..##........#..#", "#...#...........#",
    " #..#...........#", "  #.#...........#", "  #.............#",
    "   #............#", "   #...........#",  "    #..........#",
    "    #..........#",  "     #........#",   "     #........#",
    "     ##########",
};

// One bit a pixel, least significant bit first, as QBitmap::fromData reads.
using Bits = std::array<uchar, kSize * kSize / 8>;

void SetBit(Bits& bits, int x, int y) {
  bits[(y * kSize + x) / 8] |= static_cast<uchar>(1 << (x % 8));
}

}  // namespace

QCursor HandCursor() {
  Bits black{};   // set: black, clear: white
  Bits opaque{};  // set: drawn, clear: transparent
  int y = 0;
  for (const char* row : kHand) {
    for (int x = 0; row[x] != '\0'; ++x) {
      if (row[x] == ' ') continue;
      SetBit(opaque, x, y);
      if (row[x] == '#') SetBit(black, x, y);
    }
    ++y;
  }
  const QSize size(kSize, kSize);
  return QCursor(QBitmap::fromData(size, black.data(), QImage::Format_MonoLSB),
                 QBitmap::fromData(size, opaque.data(), QImage::Format_MonoLSB),
                 kHotX, kHotY);
}

}  // namespace batchext
