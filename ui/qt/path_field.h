#pragma once

#include <QLabel>
#include <QString>

namespace batchext {

// A read-only display of a folder path. A path too long for the field loses
// its middle rather than its end, so that a folder and its "(2)" twin still
// look different; the whole path is the field's tooltip.
class PathField : public QLabel {
  Q_OBJECT

 public:
  explicit PathField(QWidget* parent = nullptr);

  const QString& path() const { return path_; }
  void SetPath(const QString& path);

  // Keeps the text off the rightmost `pixels`, where a sibling covers it.
  void KeepTextClearOfRight(int pixels);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Elide();

  QString path_;
};

}  // namespace batchext
