#include "ui/qt/web_panels.h"

#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "ui/qt/browser.h"

namespace batchext {
namespace {

bool RunningAsRoot() {
#if defined(Q_OS_UNIX)
  return geteuid() == 0;
#else
  return false;  // the sandbox does not refuse elevated users there
#endif
}

}  // namespace

bool WebEngineMayStart() {
  return !RunningAsRoot() ||
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
