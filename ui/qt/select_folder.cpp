#include "ui/qt/select_folder.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "ui/qt/message_box.h"

namespace batchext {
namespace {

// Greeting and prompt are joined by a carriage return, drawn as a line break.
constexpr char kInstruction[] = "Norvane工作室欢迎您！\r请选择一个文件夹：";
constexpr char kCaption[] = "浏览文件夹";

QFileSystemModel* CreateFolderModel(QObject* parent) {
  auto* model = new QFileSystemModel(parent);
  model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  model->setReadOnly(true);
  // The empty root is the top of the file system: "/" or the drives.
  model->setRootPath(QString());
  return model;
}

QTreeView* CreateFolderTree(QFileSystemModel* model, QWidget* parent) {
  auto* tree = new QTreeView(parent);
  tree->setObjectName(kFolderTreeName);
  tree->setModel(model);
  tree->setHeaderHidden(true);
  for (int column = 1; column < model->columnCount(); ++column) {
    tree->hideColumn(column);
  }
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return tree;
}

QDialogButtonBox* CreateButtons(QDialog* dialog) {
  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText("确定");
  buttons->button(QDialogButtonBox::Cancel)->setText("取消");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog,
                   &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog,
                   &QDialog::reject);
  return buttons;
}

void BuildDialog(QDialog& dialog, QTreeView*& tree) {
  dialog.setObjectName(kFolderPickerName);
  dialog.setWindowTitle(kCaption);
  dialog.resize(320, 380);
  auto* instruction =
      new QLabel(QString(kInstruction).replace(QChar('\r'), QChar('\n')));
  instruction->setObjectName(kFolderInstructionName);
  instruction->setTextFormat(Qt::PlainText);
  tree = CreateFolderTree(CreateFolderModel(&dialog), &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(instruction);
  layout->addWidget(tree);
  layout->addWidget(CreateButtons(&dialog));
}

std::string ChosenFolder(const QTreeView& tree) {
  const QModelIndexList rows = tree.selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  const auto* model = static_cast<const QFileSystemModel*>(tree.model());
  const QString path = model->filePath(rows.first());
  // The tree can lag behind the disk: a folder removed meanwhile is no answer.
  if (path.isEmpty() || !QFileInfo(path).isDir()) return {};
  return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace

std::string SelectFolder() {
  try {
    QDialog dialog;  // no owner, so the main window is not disabled
    QTreeView* tree = nullptr;
    BuildDialog(dialog, tree);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec();
    if (dialog.result() != QDialog::Accepted) return {};
    return ChosenFolder(*tree);
  } catch (const std::exception& failure) {
    ShowMessageBox(nullptr, failure.what(), "", MessageStyle::kPlain);
    return {};
  }
}

}  // namespace batchext
