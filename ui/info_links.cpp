#include "ui/info_links.h"

#include <QDesktopServices>

#include "ui/info_links_config.h"

namespace batchext {

InfoLinks DefaultInfoLinks() {
  return {config::kHomePageUrl, config::kTaskPageUrl, config::kPanel1Url,
          config::kPanel2Url, config::kContactLine};
}

void OpenInBrowser(const QUrl& url) { QDesktopServices::openUrl(url); }

QUrl AddressToUrl(const std::string& address) {
  return QUrl(QString::fromStdString(address), QUrl::TolerantMode);
}

}  // namespace batchext
