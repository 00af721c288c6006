#include "ui/qt/web_panels.h"

#include <unistd.h>

#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtGlobal>

#include "ui/qt/browser.h"

namespace batchext {

bool WebEngineMayStart() {
  return geteuid() != 0 ||
         qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
}

void StartWebPanel(QWebEngineView& view, const std::string& address) {
  if (address.empty() || !WebEngineMayStart()) {
    view.hide();
    return;
  }
  // The panel is too small for the engine's own error page; blank is kinder.
  view.settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  view.load(AddressToUrl(address));
}

}  // namespace batchext
