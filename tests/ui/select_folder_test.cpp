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

// What a freshly opened picker looks like.
struct OpeningState {
  bool seen = false;
  QString instruction;
  QString top_item;
  bool has_owner = true;
  bool modal = true;
  bool anything_selected = true;
  bool top_expanded = true;
  QStringList buttons;
  qsizetype edit_boxes = -1;
};

OpeningState Observe(QWidget* picker) {
  OpeningState state;
  state.seen = true;
  state.instruction =
      picker->findChild<QLabel*>(kFolderInstructionName)->text();
  QTreeView* tree = TreeOf(picker);
  QFileSystemModel* model = ModelOf(picker);
  if (QTest::qWaitFor([&] { return model->rowCount(tree->rootIndex()) > 0; })) {
    const QModelIndex top = model->index(0, 0, tree->rootIndex());
    state.top_item = model->filePath(top);
    state.top_expanded = tree->isExpanded(top);
  }
  state.has_owner = picker->parentWidget() != nullptr;
  state.modal =
      picker->isModal() || QApplication::activeModalWidget() != nullptr;
  state.anything_selected = tree->selectionModel()->hasSelection();
  for (QAbstractButton* button :
       picker->findChild<QDialogButtonBox*>()->buttons()) {
    state.buttons.append(button->text());
  }
  state.edit_boxes = picker->findChildren<QLineEdit*>().size();
  return state;
}

void VerifyOpening(const OpeningState& state) {
  QVERIFY(state.seen);
  QCOMPARE(state.instruction,
           QString("Norvane工作室欢迎您！\n请选择一个文件夹："));
  QCOMPARE(state.top_item, QDir::rootPath());
  QVERIFY(!state.top_expanded);
  QVERIFY(!state.has_owner);
  QVERIFY(!state.modal);
  QVERIFY(!state.anything_selected);
  QCOMPARE(state.buttons, QStringList({"确定", "取消"}));
  QCOMPARE(state.edit_boxes, 0);
}

}  // namespace

class SelectFolderTest : public QObject {
  Q_OBJECT

 private slots:
  void opensAtTheTopAndCancelAnswersNothing() {
    OpeningState state;
    WhenShown(Picker(), [&](QWidget* picker) {
      state = Observe(picker);
      Press(picker, QDialogButtonBox::Cancel);
    });
    QCOMPARE(SelectFolder(), std::string());
    VerifyOpening(state);
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

  void closingOrEmptyOkOrVanishedFolderAnswerNothing() {
    WhenShown(Picker(), [](QWidget* picker) { picker->close(); });
    QCOMPARE(SelectFolder(), std::string());

    WhenShown(Picker(),
              [](QWidget* picker) { Press(picker, QDialogButtonBox::Ok); });
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
    OpeningState state;
    WhenShown(Picker(), [&](QWidget* picker) {
      state = Observe(picker);
      Press(picker, QDialogButtonBox::Ok);
    });
    QCOMPARE(SelectFolder(), std::string());
    VerifyOpening(state);
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
