#pragma once

#include <string>

#include "engine/conversion_run.h"
#include "engine/undo_run.h"
#include "ui/form/show_message.h"

// The words of a run, the same in every window and on the command line.
namespace batchext {

// The box that turns a request down; Refusal::kNone has none and answers
// an empty message.
Message RefusalMessage(Refusal refusal);

// Shown after every run that was not refused, with its counts.
Message SummaryMessage(const ConversionReport& report);

// Shown instead of the summary when the chosen source folder could not be
// read at all.
Message SourceFolderMessage(const FolderPath& folder,
                            const FolderFailure& failure);

// Shown for each folder of the target tree that could not be used.
Message TargetFolderMessage();

// Shown instead of the summary when something ended the run unexpectedly.
Message RunErrorMessage(const std::string& error);

// Why a file was not converted; "" for one that was.
std::string FailureReason(const FileOutcome& outcome);

// Why the walk could not use a folder.
std::string FolderFailureReason(const FolderFailure& failure);

// What a run says besides its summary about what an undo will be able to
// do; "" when there is nothing to say.
std::string UndoNotice(const ConversionReport& report);

// The box that closes an undo: its counts, or why nothing was taken back.
Message UndoMessage(const UndoReport& report);

// Why an undo left something as it was.
std::string KeptReasonText(const KeptEntry& entry);

// One line "PATH：REASON" for something an undo left as it was.
std::string KeptLine(const KeptEntry& entry);

// One line of the details: "PATH：REASON".
std::string DetailLine(const std::string& path, const std::string& reason);

// The details' first line after a cancellation.
std::string CancelledHeading(long long files_handled);

// Counts the failures the details do not list.
std::string UnlistedLine(long long unlisted);

// Shown when the details could not be saved to `path`.
Message SaveFailedMessage(const std::string& path, const std::string& error);

// The words of the summary box and of its details report.
inline constexpr char kUndoButtonText[] = "撤销";
inline constexpr char kOkButtonText[] = "确定";
inline constexpr char kDetailsButtonText[] = "显示详情...";
inline constexpr char kDetailsTitle[] = "详细信息";
inline constexpr char kPathColumnText[] = "路径";
inline constexpr char kReasonColumnText[] = "原因";
inline constexpr char kCopyButtonText[] = "复制";
inline constexpr char kSaveButtonText[] = "保存...";
inline constexpr char kCloseButtonText[] = "关闭";
inline constexpr char kSaveDialogTitle[] = "保存详细信息";
inline constexpr char kSaveFileName[] = "详细信息.txt";
inline constexpr char kTextFilesFilter[] = "文本文件 (*.txt)";

// The preview's window: its title, buttons and columns.
inline constexpr char kPreviewTitle[] = "预览";
inline constexpr char kPreviewStartText[] = "开始批量修改";
inline constexpr char kPreviewCloseText[] = "关闭";
inline constexpr const char* kPreviewColumns[] = {"来源", "目标", "结果"};

// What a run would do with one file: "新建", "替换", "不变", or "失败："
// and the reason the run would give.
std::string PreviewOutcome(const FileOutcome& outcome);

// The same for a folder the walk could not use.
std::string PreviewOutcome(const FolderFailure& failure);

// What a preview would come to, after the cancellation when it was cut short.
std::string PreviewCountsText(long long created, long long replaced,
                              long long unchanged, long long failed,
                              bool stopped);

}  // namespace batchext
