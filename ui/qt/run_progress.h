#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <string>

#include "engine/conversion_run.h"

class QProgressDialog;
class QWidget;

namespace batchext {

struct ProgressTiming {
  // A run shorter than this shows no dialog at all.
  std::chrono::milliseconds show_after{500};
  // The shortest time between two redraws while the dialog is up.
  std::chrono::milliseconds refresh_every{50};
};

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
  ConversionObserver Observer();

  // Takes the dialog out of the way of a message box; the next step of the
  // run brings it back.
  void Pause();

 private:
  void Step();
  void ShowDialog();
  QString Description() const;

  QWidget* parent_;
  ProgressTiming timing_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_refresh_{};
  std::unique_ptr<QProgressDialog> dialog_;
  long long files_handled_ = 0;
  QString folder_;
  bool cancelled_ = false;
};

}  // namespace batchext
