#include "ui/fonts.h"

#include <QStringList>

namespace batchext {

QFont SongTiFont(qreal point_size, QFont::Weight weight) {
  QFont font;
  // The Sharp face carries bitmaps for the small sizes, drawn and spaced
  // like those of "宋体"; the contact line fits its box only with them.
  font.setFamilies({"宋体", "SimSun", "NSimSun", "Noto Serif CJK SC",
                    "Noto Sans CJK SC", "WenQuanYi Zen Hei Sharp",
                    "WenQuanYi Zen Hei"});
  font.setPointSizeF(point_size);
  font.setWeight(weight);
  return font;
}

// The Chinese desktop's own dialog font. Fixing it keeps the captions
// inside their twip-sized boxes whatever the desktop's font is.
QFont WindowDefaultFont() { return SongTiFont(9); }

}  // namespace batchext
