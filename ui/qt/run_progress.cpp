#include "ui/qt/run_progress.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include "ui/form/form_layout.h"

namespace batchext {
namespace {

constexpr int kLabelWidth = 520;

}  // namespace

RunProgress::RunProgress(QWidget* parent, ProgressTiming timing)
    : parent_(parent),
      tracker_(timing,
               {.shown = [this] { return dialog_ && !dialog_->isHidden(); },
                .show = [this] { ShowDialog(); },
                .refresh = [this] { Refresh(); }}) {}

RunProgress::~RunProgress() = default;

void RunProgress::Pause() {
  if (dialog_) dialog_->hide();
}

void RunProgress::Refresh() {
  dialog_->setLabelText(Description());
  if (const std::optional<long long> total = tracker_.total()) {
    // The bar counts in ints; a share of a thousand is fine enough.
    dialog_->setRange(0, 1000);
    dialog_->setValue(static_cast<int>(
        *total > 0 ? tracker_.files_handled() * 1000 / *total : 1000));
  }
  // Safe: the application-modal dialog keeps input from every other window.
  QApplication::processEvents();
}

void RunProgress::ShowDialog() {
  if (!dialog_) {
    dialog_ = std::make_unique<QProgressDialog>(parent_);
    dialog_->setWindowTitle(kApplicationTitle);
    dialog_->setAccessibleName(QString::fromUtf8(kProgressHeardAs));
    if (auto* bar = dialog_->findChild<QProgressBar*>()) {
      bar->setAccessibleName(QString::fromUtf8(kProgressBarHeardAs));
    }
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setCancelButtonText(kProgressCancelCaption);
    dialog_->setRange(0, 0);  // the total is not known in advance
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumWidth(kLabelWidth + 40);
    QObject::connect(dialog_.get(), &QProgressDialog::canceled,
                     [this] { tracker_.Cancel(); });
  }
  dialog_->show();
}

QString RunProgress::Description() const {
  const QFontMetrics metrics(dialog_->font());
  return QString::fromStdString(tracker_.CountLine()) + '\n' +
         QString::fromUtf8(kProgressFolderLabel) +
         metrics.elidedText(QString::fromStdString(tracker_.folder()),
                            Qt::ElideMiddle, kLabelWidth);
}

}  // namespace batchext
