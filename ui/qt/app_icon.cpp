#include "ui/qt/app_icon.h"

#include <QPixmap>

namespace batchext {
namespace {

#include "ui/icons/app_icon_16.xpm"
#include "ui/icons/app_icon_32.xpm"

}  // namespace

QImage AppIconImage(int size) {
  const QImage image(size == 16 ? kAppIcon16 : kAppIcon32);
  return image.convertToFormat(QImage::Format_RGB888);
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : kAppIconSizes) {
    icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
  }
  return icon;
}

}  // namespace batchext
