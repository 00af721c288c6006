#pragma once

#include <QIcon>
#include <QImage>

namespace batchext {

// The two sizes the icon is drawn at, in pixels.
inline constexpr int kAppIconSizes[] = {16, 32};

// The hand-drawn icon at `size` (one of kAppIconSizes) in 24-bit colour.
QImage AppIconImage(int size);

// Both sizes, for the window.
QIcon AppIcon();

}  // namespace batchext
