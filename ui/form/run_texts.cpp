#include "ui/form/run_texts.h"

namespace batchext {
namespace {

// A reason in the system's own words.
std::string SystemSays(const std::string& text) { return "系统提示：" + text; }

}  // namespace

Message RefusalMessage(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNone:
      break;
    case Refusal::kNoFolders:
      return {.text = "请务必先选择来源文件夹以及执行后存储所用的目标文件夹",
              .title = "选择文件夹",
              .style = MessageStyle::kError};
    case Refusal::kNoToExt:
      return {.text = "你没有指定转换后的文件的后缀名。",
              .title = "参数设置不全",
              .style = MessageStyle::kWarning};
    case Refusal::kSameExt:
      return {.text = "原来的后缀名与转换的后缀名一样。",
              .title = "参数设置错误",
              .style = MessageStyle::kWarning};
    case Refusal::kBadToExt:
      return {.text = "转换后的后缀名中含有文件名中不能使用的字符。",
              .title = "参数设置错误",
              .style = MessageStyle::kWarning};
  }
  return {};
}

Message SummaryMessage(const ConversionReport& report) {
  const std::string counts = "成功修改了" + std::to_string(report.succeeded) +
                             "个文件的后缀名，失败" +
                             std::to_string(report.failed) + "个文件";
  // A cancelled run must not pass for a finished one.
  if (report.stopped) {
    return {.text = "操作已取消，没有处理完全部文件。\n" + counts,
            .title = "操作结果",
            .style = MessageStyle::kWarning};
  }
  return {
      .text = counts, .title = "操作结果", .style = MessageStyle::kInformation};
}

Message SourceFolderMessage(const FolderPath& folder,
                            const FolderFailure& failure) {
  return {.text = "无法读取来源文件夹，什么也没有做：" + folder.text() + "\n" +
                  FolderFailureReason(failure),
          .title = "错误",
          .style = MessageStyle::kError};
}

Message TargetFolderMessage() {
  return {.text = "无法向目标文件夹中写入修改后的文件夹",
          .title = "错误",
          .style = MessageStyle::kError};
}

Message RunErrorMessage(const std::string& error) {
  return {.text = "操作失败，系统提示为：" + error,
          .title = "操作失败",
          .style = MessageStyle::kWarning};
}

std::string FailureReason(const FileOutcome& outcome) {
  switch (outcome.status) {
    case CopyStatus::kCopied:
    case CopyStatus::kSameFile:
    case CopyStatus::kWouldCreate:
    case CopyStatus::kWouldReplace:
      return {};
    case CopyStatus::kSourceMissing:
      return "来源文件已不存在";
    case CopyStatus::kSourceNotRegularFile:
      return "来源不是普通文件";
    case CopyStatus::kSourceChanged:
      return "来源文件在移动途中被修改，留在原处";
    case CopyStatus::kDestinationNotRegularFile:
      return "目标位置已有同名的文件夹或其他非普通文件";
    case CopyStatus::kDestinationReadOnly:
      return "目标文件是只读的，没有覆盖";
    case CopyStatus::kDestinationProtected:
      return "目标文件是来源文件夹中的文件，没有覆盖";
    case CopyStatus::kDestinationReserved:
      return "本次已有另一个文件转换为同一个目标文件，没有覆盖";
    case CopyStatus::kDestinationNameNotAllowed:
      return "目标文件名在这个系统上不能使用";
    case CopyStatus::kStopped:
      return "操作已取消，没有写入";
    case CopyStatus::kSystemError:
      return SystemSays(outcome.system_error);
  }
  return {};
}

std::string FolderFailureReason(const FolderFailure& failure) {
  switch (failure.error) {
    case FolderError::kNone:
      return {};
    case FolderError::kLink:
      return "这是一个链接，没有跟随";
    case FolderError::kNotFolder:
      return "这不是文件夹";
    case FolderError::kNameNotAllowed:
      return "文件夹名在这个系统上不能使用";
    case FolderError::kSystem:
      break;
  }
  return SystemSays(failure.system_error);
}

std::string UndoNotice(const ConversionReport& report) {
  std::string notice;
  if (!report.journal_error.empty()) {
    notice =
        "无法记录本次运行，之后不能撤销：" + SystemSays(report.journal_error);
  }
  if (!report.unkept_path.empty()) {
    if (!notice.empty()) notice += "\n";
    notice +=
        "无法把被替换的文件放入回收站，已直接替换（此后的同类文件也是如此）：" +
        report.unkept_path + "：" + SystemSays(report.unkept_why);
  }
  return notice;
}

Message UndoMessage(const UndoReport& report) {
  switch (report.refusal) {
    case UndoRefusal::kNothingToUndo:
      return {.text = "没有可以撤销的运行。",
              .title = "撤销",
              .style = MessageStyle::kWarning};
    case UndoRefusal::kUnreadable:
      return {.text = "无法读取运行记录：" + SystemSays(report.error),
              .title = "撤销",
              .style = MessageStyle::kWarning};
    case UndoRefusal::kNone:
      break;
  }
  const std::string moved =
      report.moved_back > 0
          ? "移回了" + std::to_string(report.moved_back) + "个移动的文件，"
          : std::string();
  return {.text = moved + "删除了" + std::to_string(report.removed) +
                  "个新建的文件，放回了" + std::to_string(report.restored) +
                  "个被替换的文件，删除了" +
                  std::to_string(report.folders_removed) + "个文件夹，" +
                  std::to_string(report.kept.size()) + "项未撤销",
          .title = "撤销结果",
          .style = report.kept.empty() ? MessageStyle::kInformation
                                       : MessageStyle::kWarning};
}

std::string KeptReasonText(const KeptEntry& entry) {
  switch (entry.reason) {
    case KeptReason::kChanged:
      return "运行之后已被修改，没有删除或覆盖";
    case KeptReason::kFolderNotEmpty:
      return "文件夹中有本次运行以外的内容，没有删除";
    case KeptReason::kNotInTrash:
      return "被替换的文件已不在回收站中，无法放回";
    case KeptReason::kNotKept:
      return "被替换的文件当时未能放入回收站，无法放回";
    case KeptReason::kSourceTaken:
      return "原来的位置已有别的文件，没有移回";
    case KeptReason::kSystem:
      break;
  }
  return SystemSays(entry.system_error);
}

std::string KeptLine(const KeptEntry& entry) {
  return DetailLine(entry.path, KeptReasonText(entry));
}

std::string DetailLine(const std::string& path, const std::string& reason) {
  return path + "：" + reason;
}

std::string CancelledHeading(long long files_handled) {
  return "操作已取消，取消前已处理" + std::to_string(files_handled) + "个文件";
}

std::string UnlistedLine(long long unlisted) {
  return "以及另外" + std::to_string(unlisted) + "个";
}

Message SaveFailedMessage(const std::string& path, const std::string& error) {
  return {.text = "无法保存详细信息：" + path + "：" + SystemSays(error),
          .title = "保存失败",
          .style = MessageStyle::kError};
}

std::string PreviewOutcome(const FileOutcome& outcome) {
  switch (outcome.status) {
    case CopyStatus::kWouldCreate:
      return "新建";
    case CopyStatus::kWouldReplace:
      return "替换";
    case CopyStatus::kSameFile:
      return "不变";
    default:
      return "失败：" + FailureReason(outcome);
  }
}

std::string PreviewOutcome(const FolderFailure& failure) {
  return "失败：" + FolderFailureReason(failure);
}

std::string PreviewCountsText(long long created, long long replaced,
                              long long unchanged, long long failed,
                              bool stopped) {
  const std::string counts =
      "将修改" + std::to_string(created + replaced + unchanged) +
      "个文件的后缀名（新建" + std::to_string(created) + "个，替换" +
      std::to_string(replaced) + "个，不变" + std::to_string(unchanged) +
      "个），失败" + std::to_string(failed) + "个文件";
  return stopped ? "预览已取消，只列出了取消前看过的文件。\n" + counts : counts;
}

}  // namespace batchext
