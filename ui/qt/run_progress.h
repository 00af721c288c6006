#pragma once

#include <QString>
#include <memory>

#include "engine/conversion_run.h"
#include "ui/form/progress_tracker.h"

class QProgressDialog;
class QWidget;

namespace batchext {

// Keeps a long run from looking frozen. The run stays blocking: until the
// application-modal dialog is up no event is taken, and afterwards the
// dialog keeps every other window from input.
class RunProgress {
 public:
  RunProgress(QWidget* parent, ProgressTiming timing);
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;
  ~RunProgress();

  // Valid as long as this object.
  ConversionObserver Observer() { return tracker_.Observer(); }

  // Takes the dialog out of the way of a message box; the next step of the
  // run brings it back.
  void Pause();

 private:
  void ShowDialog();
  void Refresh();
  QString Description() const;

  QWidget* parent_;
  std::unique_ptr<QProgressDialog> dialog_;
  ProgressTracker tracker_;
};

}  // namespace batchext
