#include "ui/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui/form/form_layout.h"
#include "ui/form/run_texts.h"
#include "ui/qt/details_report.h"

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
                    const Details& details, bool offer_undo) {
  const QString caption = title.empty() ? QString(kApplicationTitle)
                                        : QString::fromStdString(title);
  QMessageBox box(IconFor(style), caption, QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  // Paths and failure descriptions are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  QAbstractButton* ok = box.button(QMessageBox::Ok);
  ok->setText(kOkButtonText);
  box.setDefaultButton(QMessageBox::Ok);
  // Added before the details, so that the two stand side by side.
  QPushButton* undo =
      offer_undo ? box.addButton(kUndoButtonText, QMessageBox::ActionRole)
                 : nullptr;
  if (undo) undo->setAutoDefault(false);
  if (!details.empty()) {
    QPushButton* show =
        box.addButton(kDetailsButtonText, QMessageBox::ActionRole);
    show->setAutoDefault(false);
    // The report opens over the box, which stays open behind it.
    QObject::disconnect(show, &QPushButton::clicked, nullptr, nullptr);
    QObject::connect(show, &QPushButton::clicked, &box,
                     [&box, &details] { DetailsReport(details, &box).exec(); });
  }
  box.exec();
  return undo != nullptr && box.clickedButton() == undo;
}

}  // namespace batchext
