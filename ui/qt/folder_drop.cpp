#include "ui/qt/folder_drop.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace batchext {

namespace {

std::optional<std::string> LocalFolder(const QString& path) {
  const QFileInfo folder(path);
  if (path.isEmpty() || !folder.isDir()) return std::nullopt;
  // A trailing separator would put the "(2)" twin inside the folder.
  return QDir::toNativeSeparators(QDir::cleanPath(folder.absoluteFilePath()))
      .toStdString();
}

}  // namespace

std::optional<std::string> DroppedFolder(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  return LocalFolder(urls.front().toLocalFile());
}

std::optional<std::string> StartFolder(const QStringList& arguments) {
  if (arguments.size() < 2) return std::nullopt;
  return LocalFolder(arguments[1]);
}

}  // namespace batchext
