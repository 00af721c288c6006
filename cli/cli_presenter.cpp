#include "cli/cli_presenter.h"

#include <cstdio>

#include "cli/shown_path.h"
#include "fs/console.h"
#include "ui/form/run_texts.h"

namespace batchext {
namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
  WriteText(stream, line + "\n");
}

constexpr char kPreviewMark[] = "（预览，未写入任何文件）";

// What a preview says after "SOURCE -> DESTINATION".
std::string PredictedOutcome(const FileOutcome& outcome, bool move) {
  switch (outcome.status) {
    case CopyStatus::kWouldCreate:
      return move ? "移动" : "新建";
    case CopyStatus::kWouldReplace:
      return move ? "移动并替换" : "替换";
    case CopyStatus::kSameFile:
      return "不变（就是来源文件本身）";
    default:
      return "失败：" + FailureReason(outcome);
  }
}

}  // namespace

CliPresenter::CliPresenter(const CliOptions& options)
    : verbose_(options.verbose),
      preview_(options.dry_run),
      move_(options.move),
      null_ended_(options.null_ended),
      progress_(stderr, !options.quiet && DrawsEscapes(stderr)) {}

ConversionObserver CliPresenter::Observer() {
  ConversionObserver observer;
  observer.on_folder = [this](const ChainedPath::Ptr& source,
                              const ChainedPath::Ptr&) { OnFolder(source); };
  observer.on_file = [this](const FileOutcome& outcome) { OnFile(outcome); };
  // Counted beside the run only where a progress line shows it.
  if (progress_.enabled()) {
    observer.on_total = [this](std::int64_t files) { total_ = files; };
  }
  observer.on_folder_failure = [this](const FolderFailure& failure) {
    OnFolderFailure(failure);
  };
  return observer;
}

RunMessages CliPresenter::Messages() {
  return {
      .show = [this](const std::string& text, const std::string& title,
                     MessageStyle) { PrintBox(stderr, title, text); },
      .show_summary =
          [this](const Message& summary, const ConversionReport& report) {
            PrintBox(null_ended_ ? stderr : stdout,
                     summary.title + (report.preview ? kPreviewMark : ""),
                     summary.text);
          },
  };
}

void CliPresenter::OnFolder(const ChainedPath::Ptr& source) {
  folder_ = source;
  progress_.Update(files_handled_, total_, folder_);
}

void CliPresenter::OnFile(const FileOutcome& outcome) {
  ++files_handled_;
  if (preview_) {
    PrintFile(outcome, PredictedOutcome(outcome, move_));
  } else if (outcome.converted() && verbose_) {
    PrintFile(outcome, "");
  } else if (!outcome.converted()) {
    progress_.Clear();
    PrintLine(stderr, "失败：" + ShownPath(outcome.source()) + " -> " +
                          ShownPath(outcome.destination()) + "：" +
                          FailureReason(outcome));
  }
  progress_.Update(files_handled_, total_, folder_);
}

void CliPresenter::PrintFile(const FileOutcome& outcome,
                             const std::string& outcome_text) {
  progress_.Clear();
  if (null_ended_) {
    std::string fields = outcome.source() + '\0' + outcome.destination() + '\0';
    if (!outcome_text.empty()) fields += outcome_text + '\0';
    WriteText(stdout, fields);
    return;
  }
  std::string line =
      ShownPath(outcome.source()) + " -> " + ShownPath(outcome.destination());
  if (!outcome_text.empty()) line += "：" + outcome_text;
  PrintLine(stdout, line);
}

void CliPresenter::OnFolderFailure(const FolderFailure& failure) {
  progress_.Clear();
  PrintLine(stderr,
            (failure.in_target ? "无法使用目标文件夹：" : "无法读取文件夹：") +
                ShownPath(failure.path) + "：" + FolderFailureReason(failure));
}

void CliPresenter::PrintBox(std::FILE* stream, const std::string& title,
                            const std::string& text) {
  progress_.Clear();
  PrintLine(stream, title + ": " + text);
}

}  // namespace batchext
