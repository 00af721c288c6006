#pragma once

#include <QPalette>

namespace batchext {

// The light palette the window's fixed colours were chosen against: black
// text on light grey and white, whatever the system's palette. Every role is
// marked as set, so that a dark system palette reaches none of them.
QPalette LightPalette();

}  // namespace batchext
