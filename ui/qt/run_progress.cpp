#include "ui/qt/run_progress.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>

#include "ui/form/form_layout.h"
#include "ui/form/progress_text.h"

namespace batchext {
namespace {

constexpr int kLabelWidth = 420;

}  // namespace

RunProgress::RunProgress(QWidget* parent, ProgressTiming timing)
    : parent_(parent),
      timing_(timing),
      started_(std::chrono::steady_clock::now()) {}

RunProgress::~RunProgress() = default;

ConversionObserver RunProgress::Observer() {
  ConversionObserver observer;
  observer.on_folder = [this](const std::string& source, const std::string&) {
    folder_ = QString::fromStdString(source);
    Step();
  };
  observer.on_file = [this](const FileOutcome&) {
    ++files_handled_;
    Step();
  };
  observer.stop_requested = [this] { return cancelled_; };
  return observer;
}

void RunProgress::Pause() {
  if (dialog_) dialog_->hide();
}

void RunProgress::Step() {
  if (cancelled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!dialog_ || dialog_->isHidden()) {
    if (now - started_ < timing_.show_after) return;
    ShowDialog();
  } else if (now - last_refresh_ < timing_.refresh_every) {
    return;
  }
  last_refresh_ = now;
  dialog_->setLabelText(Description());
  // Safe: the application-modal dialog keeps input from every other window.
  QApplication::processEvents();
}

void RunProgress::ShowDialog() {
  if (!dialog_) {
    dialog_ = std::make_unique<QProgressDialog>(parent_);
    dialog_->setWindowTitle(kApplicationTitle);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setCancelButtonText(kProgressCancelCaption);
    dialog_->setRange(0, 0);  // the total is not known in advance
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumWidth(kLabelWidth + 40);
    QObject::connect(dialog_.get(), &QProgressDialog::canceled,
                     [this] { cancelled_ = true; });
  }
  dialog_->show();
}

QString RunProgress::Description() const {
  const QFontMetrics metrics(dialog_->font());
  return QString::fromStdString(ProgressCountLine(files_handled_)) + '\n' +
         QString::fromUtf8(kProgressFolderLabel) +
         metrics.elidedText(folder_, Qt::ElideMiddle, kLabelWidth);
}

}  // namespace batchext
