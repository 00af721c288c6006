#include "ui/qt/browser.h"

#include <QDesktopServices>

namespace batchext {

void OpenInBrowser(const std::string& address) {
  QDesktopServices::openUrl(AddressToUrl(address));
}

QUrl AddressToUrl(const std::string& address) {
  return QUrl(QString::fromStdString(address), QUrl::TolerantMode);
}

}  // namespace batchext
