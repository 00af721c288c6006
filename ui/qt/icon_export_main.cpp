// Writes the application icon as 16×16 and 32×32 PNG files and as one .ico
// holding both, for installation and for the Windows resource.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <cstdio>

#include "ui/qt/app_icon.h"
#include "ui/qt/ico_file.h"

namespace {

bool SavePng(const QImage& image, const char* path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  return image.save(path, "PNG");
}

bool SaveFile(const QByteArray& bytes, const char* path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s ICON16.png ICON32.png ICON.ico\n", argv[0]);
    return 2;
  }
  const QImage small = batchext::AppIconImage(16);
  const QImage large = batchext::AppIconImage(32);
  if (!SavePng(small, argv[1]) || !SavePng(large, argv[2]) ||
      !SaveFile(batchext::EncodeIco({large, small}), argv[3])) {
    std::fprintf(stderr, "%s: cannot write the icons\n", argv[0]);
    return 1;
  }
  return 0;
}
