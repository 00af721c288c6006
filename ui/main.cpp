#include <QApplication>

#include "ui/application.h"
#include "ui/frm_main.h"

int main(int argc, char* argv[]) {
  batchext::PrepareApplication();
  QApplication application(argc, argv);
  batchext::FrmMain window;
  window.show();
  return application.exec();
}
