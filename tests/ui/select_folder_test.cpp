#include "ui/qt/select_folder.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include "tests/ui/ui_test_support.h"

namespace batchext {
namespace {

using testing::Child;
using testing::Click;
using testing::Fakes;
using testing::WhenShown;

// A visible picker other than `other`.
std::function<QWidget*()> Picker(QWidget* other = nullptr) {
  return [other]() -> QWidget* {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top != other && top->isVisible() &&
          top->objectName() == kFolderPickerName) {
        return top;
      }
    }
    return nullptr;
  };
}

QTreeView* Tree(QWidget* picker) {
  return Child<QTreeView>(*picker, kFolderTreeName);
}

// Selects `path` as a user would: unfolding the way down, then clicking it.
void Choose(QWidget* picker, const QString& path) {
  QTreeView* tree = Tree(picker);
  const QModelIndex index =
      static_cast<QFileSystemModel*>(tree->model())->index(path);
  tree->scrollTo(index);
  tree->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void Press(QWidget* picker, QDialogButtonBox::StandardButton which) {
  QTest::mouseClick(picker->findChild<QDialogButtonBox*>()->button(which),
                    Qt::LeftButton);
}

// What a picker shows on opening, and what its tree lists inside `probe`.
QString Describe(QWidget* picker, const QString& probe) {
  QTreeView* tree = Tree(picker);
  auto* model = static_cast<QFileSystemModel*>(tree->model());
  const QModelIndex root = tree->rootIndex();
  if (!QTest::qWaitFor([&] { return model->rowCount(root) > 0; })) return "";
  const QModelIndex top = model->index(0, 0, root);
  QStringList facts{
      Child<QLabel>(*picker, kFolderInstructionName)->text(),
      model->filePath(top) + (tree->isExpanded(top) ? " open" : " closed"),
      picker->parentWidget() ? "owned" : "no owner",
      tree->selectionModel()->hasSelection() ? "selection" : "no selection",
      QString("%1 edit boxes").arg(picker->findChildren<QLineEdit*>().size())};
  for (QAbstractButton* button :
       picker->findChild<QDialogButtonBox*>()->buttons()) {
    facts << button->text();
  }
  const QModelIndex dir = model->index(probe);
  tree->scrollTo(dir);
  tree->expand(dir);
  if (QTest::qWaitFor([&] { return model->rowCount(dir) > 0; })) {
    QTest::qWait(100);  // room for a late file row, were files listed
  }
  for (int row = 0; row < model->rowCount(dir); ++row) {
    facts << "lists " + model->fileName(model->index(row, 0, dir));
  }
  return facts.join(" | ");
}

const QString kOpening = "Norvane工作室欢迎您！\n请选择一个文件夹： | " +
                         QDir::rootPath() +
                         " closed | no owner | no selection | 0 edit boxes | "
                         "确定 | 取消 | lists 照片 2024";

// Steps in the open picker: 'c' chooses the folder, 'g' removes it, 'o' and
// 'x' press OK and Cancel, 'w' closes the dialog. Rows run in this order,
// each a further call, so each row after the first also proves that a call
// starts afresh.
const struct {
  const char* name;
  const char* steps;
  bool answers_folder;
} kCases[] = {
    {"choose", "co", true},       {"cancel", "cx", false},
    {"close", "cw", false},       {"OK with nothing chosen", "o", false},
    {"choose again", "co", true}, {"folder gone before OK", "cgo", false},
};

}  // namespace

class SelectFolderTest : public QObject {
  Q_OBJECT

  QTemporaryDir temp_;

 private slots:
  void cleanup() { testing::DropPendingWaits(); }

  void initTestCase() {
    QFile file(temp_.filePath("file.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }

  void answersTheChoice_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kCases)); ++i) {
      QTest::newRow(kCases[i].name) << i;
    }
  }

  void answersTheChoice() {
    QFETCH(int, index);
    const auto& c = kCases[index];
    const QString folder = temp_.filePath("照片 2024");
    QVERIFY(QDir().mkpath(folder));
    QString opening;
    WhenShown(Picker(), [&](QWidget* picker) {
      opening = Describe(picker, temp_.path());
      for (const char step : std::string(c.steps)) {
        if (step == 'c') Choose(picker, folder);
        if (step == 'g') QDir(folder).removeRecursively();
        if (step == 'o') Press(picker, QDialogButtonBox::Ok);
        if (step == 'x') Press(picker, QDialogButtonBox::Cancel);
        if (step == 'w') picker->close();
      }
    });
    const QString answer = QString::fromStdString(SelectFolder());
    QCOMPARE(opening, kOpening);
    QCOMPARE(answer, c.answers_folder ? folder : QString());
  }

  // The window stays usable while its picker is open: a second browse opens
  // a second picker, which answers first.
  void windowStaysUsableAndNestedPickersUnwind() {
    const QString outer = temp_.filePath("outer");
    const QString inner = temp_.filePath("inner");
    QVERIFY(QDir().mkpath(outer) && QDir().mkpath(inner));
    Fakes fakes;
    FrmMainServices services = fakes.Services();
    services.pick_folder = SelectFolder;
    FrmMain window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A folder field shows its whole path as the tooltip.
    const auto shown = [&](const char* field) {
      return Child(window, field)->toolTip();
    };
    QString target_while_outer_open;
    WhenShown(Picker(), [&](QWidget* outer_picker) {
      WhenShown(Picker(outer_picker), [&](QWidget* inner_picker) {
        Choose(inner_picker, inner);
        Press(inner_picker, QDialogButtonBox::Ok);
      });
      // Through the window system, which drops it if the window is blocked.
      QWidget* button = Child(window, "CmdBrowseTargetFolder");
      QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                        button->mapTo(&window, button->rect().center()));
      target_while_outer_open = shown("LblTargetFolder");
      Choose(outer_picker, outer);
      Press(outer_picker, QDialogButtonBox::Ok);
    });
    Click(window, "CmdBrowseFromFolder");
    QCOMPARE(target_while_outer_open, inner);
    QCOMPARE(shown("LblFromFolder"), outer);
    QCOMPARE(shown("LblTargetFolder"), outer + "(2)");
    QVERIFY(fakes.shown.isEmpty());
  }
};

}  // namespace batchext

BATCHEXT_UI_TEST_MAIN(batchext::SelectFolderTest)
#include "select_folder_test.moc"
