#include "ui/select_folder.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/frm_main.h"

namespace batchext {
namespace {

using testing::WhenShown;

// A visible picker other than `other`.
std::function<QWidget*()> Picker(QWidget* other = nullptr) {
  return [other]() -> QWidget* {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget != other && widget->isVisible() &&
          widget->objectName() == kFolderPickerName) {
        return widget;
      }
    }
    return nullptr;
  };
}

QTreeView* TreeOf(QWidget* picker) {
  return picker->findChild<QTreeView*>(kFolderTreeName);
}

QFileSystemModel* ModelOf(QWidget* picker) {
  return static_cast<QFileSystemModel*>(TreeOf(picker)->model());
}

QPushButton* Button(QWidget* picker, QDialogButtonBox::StandardButton which) {
  return picker->findChild<QDialogButtonBox*>()->button(which);
}

// Selects `path` as a user would: unfolding the way down, then clicking it.
void Choose(QWidget* picker, const QString& path) {
  QTreeView* tree = TreeOf(picker);
  const QModelIndex index = ModelOf(picker)->index(path);
  tree->scrollTo(index);
  tree->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Press(QWidget* picker, QDialogButtonBox::StandardButton which) {
  QTest::mouseClick(Button(picker, which), Qt::LeftButton);
}

// What a picker shows on opening, as "fact: value" lines.
QStringList Describe(QWidget* picker) {
  QTreeView* tree = TreeOf(picker);
  QFileSystemModel* model = ModelOf(picker);
  QString top = "none";
  if (QTest::qWaitFor([&] { return model->rowCount(tree->rootIndex()) > 0; })) {
    const QModelIndex index = model->index(0, 0, tree->rootIndex());
    top = model->filePath(index) + (tree->isExpanded(index) ? " open" : "");
  }
  QStringList buttons;
  for (QAbstractButton* button :
       picker->findChild<QDialogButtonBox*>()->buttons()) {
    buttons << button->text();
  }
  const bool modal =
      picker->isModal() || QApplication::activeModalWidget() != nullptr;
  return {
      "instruction: " +
          picker->findChild<QLabel*>(kFolderInstructionName)->text(),
      "top: " + top,
      QString("owner: ") + (picker->parentWidget() ? "yes" : "none"),
      QString("modal: ") + (modal ? "yes" : "no"),
      QString("selected: ") +
          (tree->selectionModel()->hasSelection() ? "yes" : "none"),
      "buttons: " + buttons.join(' '),
      QString("edit boxes: %1").arg(picker->findChildren<QLineEdit*>().size()),
  };
}

const QStringList kOpening{
    "instruction: Norvane工作室欢迎您！\n请选择一个文件夹：",
    "top: " + QDir::rootPath(),
    "owner: none",
    "modal: no",
    "selected: none",
    "buttons: 确定 取消",
    "edit boxes: 0",
};

}  // namespace

class SelectFolderTest : public QObject {
  Q_OBJECT

 private slots:
  void opensAtTheTopAndCancelAnswersNothing() {
    QStringList opening;
    WhenShown(Picker(), [&](QWidget* picker) {
      opening = Describe(picker);
      Press(picker, QDialogButtonBox::Cancel);
    });
    QCOMPARE(SelectFolder(), std::string());
    QCOMPARE(opening, kOpening);
  }

  void answersTheChosenFolderUnchanged() {
    QTemporaryDir temp;
    const QString folder = temp.filePath("照片 2024");
    QVERIFY(QDir().mkpath(folder));
    WhenShown(Picker(), [&](QWidget* picker) {
      Choose(picker, folder);
      Press(picker, QDialogButtonBox::Ok);
    });
    QCOMPARE(QString::fromStdString(SelectFolder()), folder);
  }

  void listsFoldersOnly() {
    QTemporaryDir temp;
    QVERIFY(QDir().mkpath(temp.filePath("sub")));
    QFile file(temp.filePath("file.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QStringList listed;
    WhenShown(Picker(), [&](QWidget* picker) {
      QFileSystemModel* model = ModelOf(picker);
      const QModelIndex dir = model->index(temp.path());
      TreeOf(picker)->scrollTo(dir);
      TreeOf(picker)->expand(dir);
      if (model->canFetchMore(dir)) model->fetchMore(dir);
      if (QTest::qWaitFor([&] { return model->rowCount(dir) > 0; })) {
        QTest::qWait(100);  // room for a late file row, were files listed
      }
      for (int row = 0; row < model->rowCount(dir); ++row) {
        listed.append(model->fileName(model->index(row, 0, dir)));
      }
      Press(picker, QDialogButtonBox::Cancel);
    });
    SelectFolder();
    QCOMPARE(listed, QStringList({"sub"}));
  }

  void closingOrAVanishedFolderAnswerNothing() {
    WhenShown(Picker(), [](QWidget* picker) { picker->close(); });
    QCOMPARE(SelectFolder(), std::string());

    QTemporaryDir temp;
    const QString folder = temp.filePath("gone");
    QVERIFY(QDir().mkpath(folder));
    WhenShown(Picker(), [&](QWidget* picker) {
      Choose(picker, folder);
      QDir(folder).removeRecursively();
      Press(picker, QDialogButtonBox::Ok);
    });
    QCOMPARE(SelectFolder(), std::string());
  }

  void secondCallStartsAtTheTopAgain() {
    QTemporaryDir temp;
    WhenShown(Picker(), [&](QWidget* picker) {
      Choose(picker, temp.path());
      Press(picker, QDialogButtonBox::Ok);
    });
    QCOMPARE(QString::fromStdString(SelectFolder()), temp.path());
    QStringList opening;
    WhenShown(Picker(), [&](QWidget* picker) {
      opening = Describe(picker);
      Press(picker, QDialogButtonBox::Ok);  // with nothing selected
    });
    QCOMPARE(SelectFolder(), std::string());
    QCOMPARE(opening, kOpening);
  }

  // The window stays usable while its picker is open: a second browse opens
  // a second picker, which answers first.
  void windowStaysUsableAndNestedPickersUnwind() {
    QTemporaryDir temp;
    const QString outer = temp.filePath("outer");
    const QString inner = temp.filePath("inner");
    QVERIFY(QDir().mkpath(outer) && QDir().mkpath(inner));
    FrmMainServices services;
    services.show = [](const std::string&, const std::string&, MessageStyle) {
      QFAIL("no message expected");
    };
    services.links = {};
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* browse_target =
        window.findChild<QPushButton*>("CmdBrowseTargetFolder");
    QString target_while_outer_open;

    WhenShown(Picker(), [&](QWidget* outer_picker) {
      WhenShown(Picker(outer_picker), [&](QWidget* inner_picker) {
        Choose(inner_picker, inner);
        Press(inner_picker, QDialogButtonBox::Ok);
      });
      // A real click: it would be dropped if the window were blocked.
      QTest::mouseClick(browse_target, Qt::LeftButton);
      target_while_outer_open =
          QString::fromStdString(window.settings().TargetFolder);
      Choose(outer_picker, outer);
      Press(outer_picker, QDialogButtonBox::Ok);
    });
    QTest::mouseClick(window.findChild<QPushButton*>("CmdBrowseFromFolder"),
                      Qt::LeftButton);

    QCOMPARE(target_while_outer_open, inner);
    QCOMPARE(QString::fromStdString(window.settings().FromFolder), outer);
    QCOMPARE(QString::fromStdString(window.settings().TargetFolder),
             outer + "(2)");
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::SelectFolderTest)
#include "select_folder_test.moc"
