#pragma once

#include <string>

#include "ui/form/run_details.h"
#include "ui/form/show_message.h"

class QWidget;

namespace batchext {

// Shows one application-modal box with an OK button and returns when it is
// closed. An empty title gives the box the application's title; non-empty
// `details` open as a report from a button of their own. With `offer_undo`
// the box also offers to take the run back: answers whether that was
// pressed. Enter presses OK, whatever button has the focus.
bool ShowMessageBox(QWidget* parent, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const Details& details = {}, bool offer_undo = false);

}  // namespace batchext
