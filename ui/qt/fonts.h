#pragma once

#include <QFont>

#include "ui/form/form_layout.h"

namespace batchext {

// The face of `wanted`, falling back to other faces with the same Chinese
// glyphs where it is not installed.
QFont ToQFont(const FontSpec& wanted);

}  // namespace batchext
