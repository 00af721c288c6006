#include "ui/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/form/form_layout.h"

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

void ShowMessageBox(QWidget* parent, const std::string& text,
                    const std::string& title, MessageStyle style,
                    const std::string& details) {
  const QString caption = title.empty() ? QString(kApplicationTitle)
                                        : QString::fromStdString(title);
  QMessageBox box(IconFor(style), caption, QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  // Paths and failure descriptions are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Ok)->setText("确定");
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  box.exec();
}

}  // namespace batchext
