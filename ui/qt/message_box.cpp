#include "ui/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/form/form_layout.h"
#include "ui/form/run_texts.h"

namespace batchext {
namespace {

QMessageBox::Icon IconFor(MessageStyle style) {
  switch (style) {
    case MessageStyle::kError:
      return QMessageBox::Critical;
    case MessageStyle::kWarning:
      return QMessageBox::Warning;
    case MessageStyle::kInformation:
      return QMessageBox::Information;
    case MessageStyle::kPlain:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool ShowMessageBox(QWidget* parent, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const std::string& details, bool offer_undo) {
  const QString caption = title.empty() ? QString(kApplicationTitle)
                                        : QString::fromStdString(title);
  QMessageBox box(IconFor(style), caption, QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  // Paths and failure descriptions are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Ok)->setText("确定");
  // Added before the details, so that the two stand side by side.
  QPushButton* undo =
      offer_undo ? box.addButton(kUndoButtonText, QMessageBox::ActionRole)
                 : nullptr;
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  box.exec();
  return undo != nullptr && box.clickedButton() == undo;
}

}  // namespace batchext
