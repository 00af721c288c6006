#include "ui/qt/fonts.h"

#include <QStringList>

namespace batchext {

// Qt picks a face by family and writing system; the character set needs no
// setting of its own.
QFont ToQFont(const FontSpec& wanted) {
  QStringList families{QString::fromUtf8(wanted.face)};
  for (const char* face : kSongTiFaces) {
    if (!families.contains(QString::fromUtf8(face))) families << face;
  }
  QFont font;
  font.setFamilies(families);
  font.setPointSizeF(wanted.points);
  font.setWeight(wanted.bold ? QFont::Bold : QFont::Normal);
  return font;
}

}  // namespace batchext
