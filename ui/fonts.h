#pragma once

#include <QFont>

namespace batchext {

// "宋体" at the given size, falling back to other faces with the same
// Chinese glyphs where it is not installed.
QFont SongTiFont(qreal point_size, QFont::Weight weight = QFont::Normal);

// The font of every control that has none of its own.
QFont WindowDefaultFont();

}  // namespace batchext
