#include <QApplication>
#include <utility>

#include "ui/qt/application.h"
#include "ui/qt/folder_drop.h"
#include "ui/qt/frm_main.h"

int main(int argc, char* argv[]) {
  batchext::PrepareApplication();
  QApplication application(argc, argv);
  batchext::TranslateQtTexts();
  batchext::FrmMainServices services;
  services.start_folder = batchext::StartFolder(application.arguments());
  batchext::FrmMain window(std::move(services));
  window.show();
  return application.exec();
}
