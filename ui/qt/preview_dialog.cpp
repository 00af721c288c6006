#include "ui/qt/preview_dialog.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <iterator>

#include "ui/form/run_texts.h"

namespace batchext {
namespace {

class PreviewModel : public QAbstractTableModel {
 public:
  PreviewModel(const PreviewList& list, QObject* parent)
      : QAbstractTableModel(parent), list_(list) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : PreviewList::kColumns;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    return QString::fromStdString(
        list_.Text(static_cast<std::size_t>(index.row()),
                   static_cast<PreviewList::Column>(index.column())));
  }
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromUtf8(kPreviewColumns[section]);
  }

 private:
  const PreviewList& list_;
};

QPushButton* Button(const char* name, const char* text, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

bool ShowPreviewDialog(QWidget* parent, const PreviewList& list) {
  QDialog dialog(parent);
  dialog.setObjectName("PreviewDialog");
  dialog.setWindowTitle(QString::fromUtf8(kPreviewTitle));
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setSizeGripEnabled(true);
  dialog.resize(820, 480);

  auto* counts = new QLabel(QString::fromStdString(list.CountsText()), &dialog);
  counts->setObjectName("PreviewCounts");
  counts->setTextFormat(Qt::PlainText);

  auto* view = new QTableView(&dialog);
  view->setObjectName("PreviewTable");
  view->setModel(new PreviewModel(list, view));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setWordWrap(false);
  view->setTextElideMode(Qt::ElideMiddle);
  // Fixed heights and widths: measuring the rows would read all of them.
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() +
                                                6);
  view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view->horizontalHeader()->setStretchLastSection(true);
  view->setColumnWidth(0, 320);
  view->setColumnWidth(1, 320);
  view->setAccessibleName(QString::fromUtf8(kPreviewTitle));
  counts->setBuddy(view);

  QPushButton* start = Button("PreviewStart", kPreviewStartText, &dialog);
  QPushButton* close = Button("PreviewClose", kPreviewCloseText, &dialog);
  // Enter away from the buttons closes; only a press on purpose writes.
  close->setDefault(true);
  QObject::connect(start, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(counts);
  layout->addWidget(view, 1);
  layout->addLayout(buttons);
  view->setFocus();
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace batchext
