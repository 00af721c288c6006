// Writes the application icon as 16×16 and 32×32 PNG files for
// installation.

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <cstdio>

#include "ui/qt/app_icon.h"

namespace {

bool SavePng(const QImage& image, const char* path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  return image.save(path, "PNG");
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ICON16.png ICON32.png\n", argv[0]);
    return 2;
  }
  if (!SavePng(batchext::AppIconImage(16), argv[1]) ||
      !SavePng(batchext::AppIconImage(32), argv[2])) {
    std::fprintf(stderr, "%s: cannot write the icons\n", argv[0]);
    return 1;
  }
  return 0;
}
