#pragma once

#include <string>

#include "ui/form/show_message.h"

class QWidget;

namespace batchext {

// Shows one application-modal box with a single OK button and returns when it
// is closed. An empty title gives the box the application's title; non-empty
// `details` sit behind the box's own button. With `offer_undo` the box also
// offers to take the run back: answers whether that was pressed.
bool ShowMessageBox(QWidget* parent, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const std::string& details = {}, bool offer_undo = false);

}  // namespace batchext
