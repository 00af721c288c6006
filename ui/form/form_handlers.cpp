#include "ui/form/form_handlers.h"

#include <exception>
#include <ranges>
#include <utility>

#include "engine/undo_run.h"
#include "ui/form/run_details.h"
#include "ui/form/run_presenter.h"
#include "ui/form/run_texts.h"

namespace batchext {
namespace {

constexpr char kNoSourceText[] = "没有成功选择来源文件夹";
constexpr char kNoTargetText[] = "没有成功选择目标文件夹";
constexpr char kNoFolderTitle[] = "无法操作";

}  // namespace

FormHandlers::FormHandlers(FormSeams seams, InfoLinks links)
    : seams_(std::move(seams)), links_(std::move(links)) {}

// Panels go last-first, so that the first in the table ends on top.
void FormHandlers::Load() {
  for (const ControlSpec& control : FormControls()) {
    if (control.kind == ControlKind::kCheckBox) {
      seams_.set_checked(control, false);
    }
  }
  for (const ControlSpec& control : FormControls() | std::views::reverse) {
    if (control.load_rect) {
      seams_.load_panel(control, AddressOf(control.address, links_));
    }
  }
}

void FormHandlers::BrowseFromFolder() { ChooseFromFolder(seams_.pick_folder); }

void FormHandlers::BrowseTargetFolder() {
  ChooseTargetFolder(seams_.pick_folder);
}

void FormHandlers::DropFromFolder(const std::string& folder) {
  ChooseFromFolder([&folder] { return folder; });
}

void FormHandlers::DropTargetFolder(const std::string& folder) {
  ChooseTargetFolder([&folder] { return folder; });
}

void FormHandlers::ChooseFromFolder(const FolderPicker& pick) {
  try {
    const std::string folder = pick();
    if (folder.empty()) return;
    settings_.FromFolder = FolderPath::Typed(folder);
    settings_.TargetFolder = settings_.FromFolder.Twin();
    seams_.show_folders(settings_.FromFolder.text(),
                        settings_.TargetFolder.text());
  } catch (const std::exception&) {
    seams_.show(kNoSourceText, kNoFolderTitle, MessageStyle::kWarning);
  }
}

void FormHandlers::ChooseTargetFolder(const FolderPicker& pick) {
  try {
    const std::string folder = pick();
    if (folder.empty()) return;
    settings_.TargetFolder = FolderPath::Typed(folder);
    seams_.show_folders(settings_.FromFolder.text(),
                        settings_.TargetFolder.text());
  } catch (const std::exception&) {
    seams_.show(kNoTargetText, kNoFolderTitle, MessageStyle::kWarning);
  }
}

void FormHandlers::SetOptions(const OkRequest& request) {
  settings_.StripSurplusExtensions = request.strip_surplus;
  settings_.IncludeSubfolders = request.include_subfolders;
}

void FormHandlers::Ok(const OkRequest& request,
                      const ConversionObserver& observer,
                      const std::function<void()>& before_message) {
  SetOptions(request);
  RunDetails details;
  const ShowMessage show = [&](const std::string& text,
                               const std::string& title, MessageStyle style) {
    if (before_message) before_message();
    seams_.show(text, title, style);
  };
  const ShowSummary show_summary = [&](const Message& summary,
                                       const ConversionReport& report) {
    if (before_message) before_message();
    if (!seams_.show_summary) {
      seams_.show(summary.text, summary.title, summary.style);
      return;
    }
    Details collected = details.Collected();
    collected.note = UndoNotice(report);
    if (seams_.show_summary(summary.text, summary.title, summary.style,
                            collected, !report.journal.empty())) {
      TakeBack(report.journal);
    }
  };
  StartConversion(settings_, request.from_extension, request.to_extension,
                  {.show = show, .show_summary = show_summary},
                  details.Watch(observer),
                  RunOptions{.jobs = 0,
                             .preview = false,
                             .journal_folder = seams_.journal_folder});
}

void FormHandlers::Preview(const OkRequest& request,
                           const RunWithWatcher& watched) {
  const auto watch = [&watched](const auto& run) {
    if (watched) {
      watched(run);
    } else {
      run({}, {});
    }
  };
  bool start = false;
  watch([&](const ConversionObserver& observer,
            const std::function<void()>& before_message) {
    start = ShowPreviewOf(request, observer, before_message);
  });
  if (!start) return;
  watch([&](const ConversionObserver& observer,
            const std::function<void()>& before_message) {
    Ok(request, observer, before_message);
  });
}

// The preview takes the summary's place; a refusal, an unreadable source or
// a failed walk keep their boxes and show no list.
bool FormHandlers::ShowPreviewOf(const OkRequest& request,
                                 const ConversionObserver& observer,
                                 const std::function<void()>& before_message) {
  SetOptions(request);
  PreviewList list;
  bool start = false;
  const ShowMessage show = [&](const std::string& text,
                               const std::string& title, MessageStyle style) {
    if (before_message) before_message();
    seams_.show(text, title, style);
  };
  const ShowSummary show_list = [&](const Message&,
                                    const ConversionReport& report) {
    if (before_message) before_message();
    list.Finish(report);
    start = seams_.show_preview(list);
  };
  StartConversion(settings_, request.from_extension, request.to_extension,
                  {.show = show, .show_summary = show_list},
                  list.Watch(observer),
                  RunOptions{.jobs = 0, .preview = true, .journal_folder = ""});
  return start;
}

void FormHandlers::TakeBack(const std::string& journal) {
  const UndoReport report = UndoRun(journal);
  Details kept;
  for (const KeptEntry& entry : report.kept) {
    kept.rows.push_back({.path = entry.path, .reason = KeptReasonText(entry)});
  }
  const Message message = UndoMessage(report);
  seams_.show_summary(message.text, message.title, message.style, kept, false);
}

void FormHandlers::OpenLink(const ControlSpec& label) {
  try {
    seams_.open_link(AddressOf(label.address, links_));
  } catch (const std::exception&) {
  }
}

}  // namespace batchext
