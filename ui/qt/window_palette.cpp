#include "ui/qt/window_palette.h"

#include <QStyle>
#include <QStyleFactory>
#include <memory>

namespace batchext {

// Fusion's own palette is light on every system and complete, disabled and
// inactive colours included.
QPalette LightPalette() {
  const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  QPalette palette = fusion->standardPalette();
  for (int group = 0; group < QPalette::NColorGroups; ++group) {
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      const auto g = static_cast<QPalette::ColorGroup>(group);
      const auto r = static_cast<QPalette::ColorRole>(role);
      palette.setBrush(g, r, palette.brush(g, r));
    }
  }
  return palette;
}

}  // namespace batchext
