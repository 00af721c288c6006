#include "ui/qt/application.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace batchext {

void PrepareApplication() {
  // Qt WebEngine shares OpenGL contexts with the widgets.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QCoreApplication::setApplicationName("batchext");
  QGuiApplication::setDesktopFileName("example.norvane.batchext");
}

// A missing catalogue leaves Qt's English texts; the window works on.
void TranslateQtTexts() {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(catalogue, folder)) {
      QCoreApplication::installTranslator(translator);
    } else {
      delete translator;
    }
  }
}

}  // namespace batchext
