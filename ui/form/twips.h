#pragma once

namespace batchext {

// The window is laid out in twips. A 96-dots-per-inch pixel is 15 twips
// wide; each toolkit scales from there to the screen's own density.
inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  constexpr int right() const { return left + width; }
  constexpr int bottom() const { return top + height; }
  constexpr bool operator==(const TwipRect&) const = default;
};

}  // namespace batchext
