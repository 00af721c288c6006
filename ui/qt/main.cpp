#include <QApplication>

#include "ui/qt/application.h"
#include "ui/qt/frm_main.h"

int main(int argc, char* argv[]) {
  batchext::PrepareApplication();
  QApplication application(argc, argv);
  batchext::TranslateQtTexts();
  batchext::FrmMain window;
  window.show();
  return application.exec();
}
