#include "ui/qt/folder_drop.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace batchext {

std::optional<std::string> DroppedFolder(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  const QFileInfo folder(urls.front().toLocalFile());
  if (!folder.isDir()) return std::nullopt;
  // A trailing separator would put the "(2)" twin inside the folder.
  return QDir::toNativeSeparators(QDir::cleanPath(folder.absoluteFilePath()))
      .toStdString();
}

}  // namespace batchext
