#pragma once

#include <QDialog>

#include "ui/form/run_details.h"

namespace batchext {

// The details of a summary box as a resizable list of paths and reasons,
// which can be copied to the clipboard or saved as a UTF-8 text file. Enter
// closes it, whatever button has the focus.
class DetailsReport : public QDialog {
  Q_OBJECT

 public:
  DetailsReport(Details details, QWidget* parent);

 private:
  void Copy() const;
  void Save();

  Details details_;
};

}  // namespace batchext
