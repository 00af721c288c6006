#include "ui/qt/application.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace batchext {

void PrepareApplication() {
  // Qt WebEngine shares OpenGL contexts with the widgets.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QCoreApplication::setApplicationName("batchext");
  QGuiApplication::setDesktopFileName("example.norvane.batchext");
}

}  // namespace batchext
