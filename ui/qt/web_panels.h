#pragma once

#include <string>

class QWebEngineView;

namespace batchext {

// Qt WebEngine refuses to run as root with its sandbox on and ends the whole
// process when it starts there. Only the user turns the sandbox off, through
// the engine's own QTWEBENGINE_DISABLE_SANDBOX.
bool WebEngineMayStart();

// Loads `address` into `view`. With nothing to load, or where the engine may
// not start, the view stays hidden and untouched: merely showing it would
// start the engine.
void StartWebPanel(QWebEngineView& view, const std::string& address);

}  // namespace batchext
