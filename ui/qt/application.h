#pragma once

namespace batchext {

// Process-wide settings that Qt needs before the QApplication exists.
void PrepareApplication();

// Loads Qt's own Chinese texts (context menus, standard buttons) into the
// running application, whatever the process locale: every text of the
// window is Chinese, and Qt's should match them.
void TranslateQtTexts();

}  // namespace batchext
