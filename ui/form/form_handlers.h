#pragma once

#include <functional>
#include <string>

#include "engine/conversion_run.h"
#include "engine/conversion_settings.h"
#include "ui/form/form_layout.h"
#include "ui/form/info_links.h"
#include "ui/form/preview_list.h"
#include "ui/form/run_details.h"
#include "ui/form/show_message.h"

namespace batchext {

// Answers a folder path, or "" when nothing usable was chosen.
using FolderPicker = std::function<std::string()>;

// Shows a box like ShowMessage that also offers `details` ("" for none)
// behind a button of its own.
using ShowDetailedMessage =
    std::function<void(const std::string& text, const std::string& title,
                       MessageStyle style, const std::string& details)>;

// Shows the summary box of a run with its `details` (empty for none) behind
// a button of their own; with `offer_undo` it also offers to take the run
// back, and answers whether the person asked for that.
using ShowSummaryBox = std::function<bool(
    const std::string& text, const std::string& title, MessageStyle style,
    const Details& details, bool offer_undo)>;

// Shows what a preview decided, modal; answers whether the person asked to
// run now.
using ShowPreview = std::function<bool(const PreviewList& list)>;

// Runs `run` with a watcher of the window's choosing and the hook that
// clears the way for each of the run's boxes, for as long as it lasts.
using RunWithWatcher =
    std::function<void(const std::function<void(
                           const ConversionObserver& observer,
                           const std::function<void()>& before_message)>& run)>;

// Starts the user's browser on an address without waiting for it.
using LinkLauncher = std::function<void(const std::string& address)>;

// What the handlers ask of the toolkit. Tests pass fakes, so that no real
// dialog, message box or browser is ever waited for by accident.
struct FormSeams {
  FolderPicker pick_folder;
  ShowMessage show;
  LinkLauncher open_link;
  // Shows the chosen folders in LblFromFolder and LblTargetFolder.
  std::function<void(const std::string& from, const std::string& target)>
      show_folders;
  // Ticks or clears a check box.
  std::function<void(const ControlSpec& option, bool checked)> set_checked;
  // Moves a web panel to its load placement above its siblings and starts
  // it on `address` ("" shows nothing).
  std::function<void(const ControlSpec& panel, const std::string& address)>
      load_panel;
  // Shows the summary that closes a run, with its failures as details, and
  // that of an undo; left empty, summaries go through `show` alone and no
  // run is offered to be taken back.
  ShowSummaryBox show_summary = nullptr;
  // Where runs are journaled, so that they can be taken back; "" for
  // nowhere.
  std::string journal_folder = {};
  ShowPreview show_preview = nullptr;
};

// The state of the window's inputs when OK is pressed, texts as typed.
struct OkRequest {
  std::string from_extension;       // TxtFromHouzui
  std::string to_extension;         // TxtHouZui
  bool strip_surplus = false;       // Chk
  bool include_subfolders = false;  // Chck
};

// The window's behaviour, apart from any toolkit: each toolkit's window
// builds its controls from FormControls() and forwards its events here.
class FormHandlers {
 public:
  FormHandlers(FormSeams seams, InfoLinks links);

  const ConversionSettings& settings() const { return settings_; }
  const InfoLinks& links() const { return links_; }

  void Load();
  void BrowseFromFolder();
  void BrowseTargetFolder();
  // A folder dropped on the window, used as if the picker had answered it.
  void DropFromFolder(const std::string& folder);
  void DropTargetFolder(const std::string& folder);
  // `before_message` runs before every box of the run, so that a progress
  // display can step out of its way.
  void Ok(const OkRequest& request, const ConversionObserver& observer = {},
          const std::function<void()>& before_message = {});
  // Checks the request as Ok does, with the same boxes, then shows what a
  // run would do; when the person asks for it, runs it as Ok would, deciding
  // afresh, since the disk may have changed meanwhile. Each of the two runs
  // gets its own watcher from `watched` (none when it is left empty).
  void Preview(const OkRequest& request, const RunWithWatcher& watched = {});
  // A launch that fails is not the user's concern.
  void OpenLink(const ControlSpec& label);

 private:
  // Takes back the run of `journal` and shows what came of it.
  void TakeBack(const std::string& journal);
  // Answers whether the person asked to run after seeing the preview.
  bool ShowPreviewOf(const OkRequest& request,
                     const ConversionObserver& observer,
                     const std::function<void()>& before_message);
  void SetOptions(const OkRequest& request);
  void ChooseFromFolder(const FolderPicker& pick);
  void ChooseTargetFolder(const FolderPicker& pick);

  FormSeams seams_;
  InfoLinks links_;
  ConversionSettings settings_;
};

}  // namespace batchext
