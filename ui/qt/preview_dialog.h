#pragma once

#include "ui/form/preview_list.h"

class QWidget;

namespace batchext {

// Shows what a preview decided in a resizable application-modal dialog: the
// counts above a list of source, destination and result, with
// "开始批量修改" and "关闭". Answers whether "开始批量修改" was pressed.
// The list is read only for the rows in sight, so that a hundred thousand
// rows open as fast as ten.
bool ShowPreviewDialog(QWidget* parent, const PreviewList& list);

}  // namespace batchext
