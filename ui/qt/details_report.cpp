#include "ui/qt/details_report.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "ui/form/run_texts.h"
#include "ui/qt/message_box.h"

namespace batchext {
namespace {

QLabel* Line(const std::string& text, QWidget* parent) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setVisible(!text.empty());
  return label;
}

QTreeWidget* List(const std::vector<DetailRow>& rows, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName("DetailsList");
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAlternatingRowColors(true);
  list->setHeaderLabels({kPathColumnText, kReasonColumnText});
  list->setAccessibleName(kDetailsTitle);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const DetailRow& row : rows) {
    items << new QTreeWidgetItem(QStringList{
        QString::fromStdString(row.path), QString::fromStdString(row.reason)});
  }
  list->addTopLevelItems(items);
  list->header()->resizeSection(0, 380);
  return list;
}

}  // namespace

DetailsReport::DetailsReport(Details details, QWidget* parent)
    : QDialog(parent), details_(std::move(details)) {
  setWindowTitle(kDetailsTitle);
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Line(details_.heading, this));
  layout->addWidget(List(details_.rows, this), 1);
  std::string below;
  if (details_.unlisted > 0) below = UnlistedLine(details_.unlisted);
  if (!details_.note.empty()) {
    below += (below.empty() ? "" : "\n") + details_.note;
  }
  layout->addWidget(Line(below, this));

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* copy =
      buttons->addButton(kCopyButtonText, QDialogButtonBox::ActionRole);
  QPushButton* save =
      buttons->addButton(kSaveButtonText, QDialogButtonBox::ActionRole);
  QPushButton* close =
      buttons->addButton(kCloseButtonText, QDialogButtonBox::RejectRole);
  // Enter goes to the dialog's one default button, never to the focused one.
  copy->setAutoDefault(false);
  save->setAutoDefault(false);
  close->setDefault(true);
  connect(copy, &QPushButton::clicked, this, &DetailsReport::Copy);
  connect(save, &QPushButton::clicked, this, &DetailsReport::Save);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(720, 420);
}

void DetailsReport::Copy() const {
  QGuiApplication::clipboard()->setText(
      QString::fromStdString(DetailsText(details_)));
}

void DetailsReport::Save() {
  const QString path = QFileDialog::getSaveFileName(
      this, kSaveDialogTitle, QDir::home().filePath(kSaveFileName),
      kTextFilesFilter);
  if (path.isEmpty()) return;
  QSaveFile file(path);
  const std::string text = DetailsFile(details_, false);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    const Message failed =
        SaveFailedMessage(QDir::toNativeSeparators(path).toStdString(),
                          file.errorString().toStdString());
    ShowMessageBox(this, failed.text, failed.title, failed.style);
  }
}

}  // namespace batchext
