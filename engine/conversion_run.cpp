#include "engine/conversion_run.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/claimed_files.h"
#include "engine/copy_workers.h"
#include "engine/name_rules.h"
#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_handle.h"
#include "fs/folder_listing.h"
#include "fs/path_ops.h"
#include "fs/text_case.h"

namespace batchext {
namespace {

// Counters are signed 32-bit; passing the top is a failure of the folder.
bool Increment(std::int32_t& counter) {
  if (counter == std::numeric_limits<std::int32_t>::max()) return false;
  ++counter;
  return true;
}

// A failure ends the folder in hand only; the walk goes on with the next.
template <typename Step>
bool Guarded(Step step) {
  try {
    return step();
  } catch (const std::exception&) {
    return false;
  }
}

// Copies handed out before their outcomes are reported; memory stays bounded
// by this, whatever the tree.
constexpr std::size_t kWindow = 1024;
constexpr std::size_t kBatch = 16;
// How long the walk waits for a copy before it asks about a stop again.
constexpr std::chrono::milliseconds kPoll{20};

// One run over a tree: an iterative depth-first walk that holds one open
// source and target folder per level, so depth costs neither stack nor
// path length. With several jobs the walk still decides everything in its
// own order and only the copies go to workers; their outcomes are reported
// in the walk's order, as if copied one after another.
class ConversionRun {
 public:
  ConversionRun(ConversionSettings& settings,
                const ConversionObserver& observer, ConversionReport& report,
                int jobs, bool preview)
      : settings_(settings),
        observer_(observer),
        report_(report),
        filter_(settings.FromExt),
        jobs_(jobs),
        preview_(preview) {}

  void Run(const FolderPath& source, const FolderPath& target);

 private:
  // A folder pair whose files are done and whose subfolders are being
  // walked.
  struct Level {
    std::shared_ptr<const FolderPair> folders;
    NameTable subfolders;
    std::size_t next = 0;
    // The target folder lies in the source tree: no file there is replaced.
    bool protect = false;
  };

  // Something to report once everything before it has been: a copy handed
  // out, or an announcement.
  struct Pending {
    std::shared_ptr<const FolderPair> folders;
    std::string name;
    std::string new_name;
    std::string key;
    std::function<void()> announce;
  };

  bool OpenRoots(FolderHandle& source, FolderHandle& target);
  bool EnterSubfolder(Level& parent, const std::string& name);
  // Lists the folder, converts its files and, when subfolders are included,
  // queues them.
  void Enter(FolderHandle source, FolderHandle target, bool protect);
  // False when the walk of this folder has to end.
  bool ConvertFiles(const std::shared_ptr<const FolderPair>& folders,
                    const NameTable& names, bool protect);
  bool ConvertFile(const std::shared_ptr<const FolderPair>& folders,
                   std::string_view name, const CopyOptions& options);
  bool ReportCopy(const FolderPair& folders, std::string_view name,
                  const std::string& new_name, CopyResult result);
  // Names the destination for the copies in flight.
  std::string DestinationKey(const FolderPair& folders,
                             const std::string& new_name) const;
  bool CanHandOut(const std::string& key) const;
  void HandOut(const std::shared_ptr<const FolderPair>& folders,
               std::string_view name, std::string new_name, std::string key,
               bool allow_replace);
  // Reports now, or after everything handed out before.
  void Announce(std::function<void()> announce);
  // Reports what is done in order, waiting at most `wait` for the oldest.
  void Flush();
  void Settle(std::chrono::milliseconds wait);
  // Reports an announcement, or the copies done at the front; false when
  // nothing was ready within `wait`.
  bool RetireReady(std::chrono::milliseconds wait);
  // Reports the announcement at the front; false when a copy is there.
  bool AnnounceFront();
  void Drain();
  bool Reserved(const CopyJob& job, const FileIdentity& existing,
                const std::function<bool()>& await_turn);
  void SourceFailure(FolderError error, const std::string& system_error);
  void TargetFailure(FolderError error, const std::string& system_error);
  bool StopRequested();

  ConversionSettings& settings_;
  const ConversionObserver& observer_;
  ConversionReport& report_;
  const ExtensionFilter filter_;
  const int jobs_;
  const bool preview_;
  std::vector<Level> levels_;
  // The folders in hand, as shown to the observer.
  std::string source_path_;
  std::string target_path_;
  std::optional<FileIdentity> source_root_;
  std::optional<FileIdentity> target_root_;
  // Decided once at the roots, so that no folder below has to climb.
  bool target_in_source_ = false;
  bool source_in_target_ = false;
  // Every file this run wrote or found to be its own source: a second file
  // mapping to one of them must not overwrite it. Workers read it.
  ClaimedFiles claimed_;
  std::mutex claimed_mutex_;
  // Empty for a run of one job.
  std::unique_ptr<CopyWorkers> workers_;
  std::deque<Pending> pending_;
  // Handed out but not yet passed to the workers, which take them in
  // batches: every handing over costs a lock they all share.
  std::vector<CopyJob> unsent_;
  std::vector<CopyResult> ready_;
  // The destinations of the copies in flight.
  std::unordered_set<std::string> in_flight_;
};

void ConversionRun::Run(const FolderPath& source_folder,
                        const FolderPath& target_folder) {
  if (source_folder.empty() || target_folder.empty()) return;
  source_path_ = AddTrailingSlash(source_folder.text());
  target_path_ = AddTrailingSlash(target_folder.text());
  RaiseOpenFileLimit();
  FolderHandle source;
  FolderHandle target;
  if (!Guarded([&] { return OpenRoots(source, target); })) return;
  if (jobs_ > 1) {
    workers_ = std::make_unique<CopyWorkers>(
        jobs_, [this](const CopyJob& job, const FileIdentity& existing,
                      const std::function<bool()>& await_turn) {
          return Reserved(job, existing, await_turn);
        });
  }
  // An in-place run counts as the source tree.
  Enter(std::move(source), std::move(target), source_root_ == target_root_);
  while (!levels_.empty() && !report_.stopped) {
    Level& level = levels_.back();
    if (level.next == level.subfolders.size()) {
      levels_.pop_back();
      continue;
    }
    const std::string name(level.subfolders[level.next++]);
    source_path_ = level.folders->source_path;
    source_path_.append(name).push_back(PreferredSeparator());
    target_path_ = level.folders->target_path;
    target_path_.append(name).push_back(PreferredSeparator());
    Guarded([&] { return EnterSubfolder(level, name); });
  }
  levels_.clear();
  if (workers_) Guarded([&] { return Drain(), true; });
}

bool ConversionRun::OpenRoots(FolderHandle& source, FolderHandle& target) {
  OpenedFolder opened_target = MakeFolder(target_path_, preview_);
  if (!opened_target.folder.valid()) {
    TargetFailure(opened_target.error, opened_target.system_error);
    return false;
  }
  if (observer_.on_folder) observer_.on_folder(source_path_, target_path_);
  OpenedFolder opened_source = OpenFolder(source_path_);
  if (!opened_source.folder.valid()) {
    SourceFailure(opened_source.error, opened_source.system_error);
    return false;
  }
  source = std::move(opened_source.folder);
  target = std::move(opened_target.folder);
  source_root_ = IdentityOf(source);
  target_root_ = IdentityOf(target);
  target_in_source_ = source_root_ && LiesInside(target, *source_root_);
  source_in_target_ = target_root_ && LiesInside(source, *target_root_);
  return true;
}

bool ConversionRun::EnterSubfolder(Level& parent, const std::string& name) {
  OpenedFolder source = OpenSubfolder(parent.folders->source, name);
  if (!source.folder.valid()) {
    SourceFailure(source.error, source.system_error);
    return false;
  }
  // Entering the run's own target folder would copy the copies again.
  if (target_in_source_ && IdentityOf(source.folder) == target_root_) {
    return false;
  }
  // A copy in flight may be making a file of that very name.
  if (workers_ && in_flight_.contains(DestinationKey(*parent.folders, name))) {
    Drain();
  }
  OpenedFolder target =
      MakeSubfolder(parent.folders->target, name, preview_);
  if (!target.folder.valid()) {
    TargetFailure(target.error, target.system_error);
    return false;
  }
  const bool protect =
      parent.protect ||
      (source_in_target_ && IdentityOf(target.folder) == source_root_);
  if (observer_.on_folder) {
    Announce([this, source = source_path_, target = target_path_] {
      observer_.on_folder(source, target);
    });
  }
  // Invalidates `parent`.
  Enter(std::move(source.folder), std::move(target.folder), protect);
  return true;
}

void ConversionRun::Enter(FolderHandle source, FolderHandle target,
                          bool protect) {
  Guarded([&] {
    auto folders = std::make_shared<FolderPair>(FolderPair{std::move(source),
                                                           std::move(target),
                                                           source_path_,
                                                           target_path_,
                                                           {},
                                                           false});
    if (workers_) {
      // Two target folders are one when the target folds case.
      const std::optional<FileIdentity> id = IdentityOf(folders->target);
      folders->target_key = id ? std::to_string(id->device) + ':' +
                                     std::to_string(id->index) + ':' +
                                     std::to_string(id->index_high) + '/'
                               : folders->target_path;
      folders->target_folds_case = FoldsCase(folders->target);
    }
    // The copies in flight may land in this very folder when the source
    // lies in the target tree; a listing must see them, as it would have.
    if (workers_ && source_in_target_) Drain();
    FolderListing listing = ListFolder(folders->source);
    if (!listing.error.empty()) {
      SourceFailure(FolderError::kSystem, listing.error);
      return false;
    }
    const bool files_done = ConvertFiles(folders, listing.files, protect);
    // The workers need not wait for the walk to list the next folder.
    if (workers_) Flush();
    if (!files_done || !settings_.IncludeSubfolders ||
        listing.subfolders.empty()) {
      return false;
    }
    levels_.push_back(
        Level{std::move(folders), std::move(listing.subfolders), 0, protect});
    return true;
  });
}

bool ConversionRun::ConvertFiles(
    const std::shared_ptr<const FolderPair>& folders, const NameTable& names,
    bool protect) {
  CopyOptions options{!protect,
                      [this](const FileIdentity& id) {
                        std::lock_guard lock(claimed_mutex_);
                        return claimed_.Contains(id);
                      },
                      {},
                      preview_};
  if (observer_.stop_requested) {
    options.stop_requested = [this] { return StopRequested(); };
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = names[i];
    if (StopRequested()) return false;
    if (!filter_.Matches(name)) continue;
    if (!ConvertFile(folders, name, options)) return false;
  }
  return true;
}

bool ConversionRun::ConvertFile(
    const std::shared_ptr<const FolderPair>& folders, std::string_view name,
    const CopyOptions& options) {
  std::string base = BaseName(name);
  if (settings_.StripSurplusExtensions) base = StripSurplusExtensions(base);
  std::string new_name = TargetFileName(base, settings_.ToExt);
  if (workers_) {
    std::string key = DestinationKey(*folders, new_name);
    if (CanHandOut(key)) {
      HandOut(folders, name, std::move(new_name), std::move(key),
              options.allow_replace);
      return !report_.stopped;
    }
    // A copy in flight may reach the same file: this one waits its turn.
    Drain();
    if (report_.stopped) return false;
  }
  const CopyResult result =
      CopyFileAt(folders->source, name, folders->target, new_name, options);
  return ReportCopy(*folders, name, new_name, result);
}

bool ConversionRun::ReportCopy(const FolderPair& folders, std::string_view name,
                               const std::string& new_name, CopyResult result) {
  // A copy cut short by a stop neither succeeded nor failed.
  if (result.status == CopyStatus::kStopped) return false;
  // The run would find its own earlier copy standing there.
  if (preview_ && result.Succeeded() &&
      !claimed_.InsertPath(ComparablePath(folders.target_path + new_name))) {
    result = CopyResult{CopyStatus::kDestinationReserved, {}, {}};
  }
  FileOutcome outcome{.source = folders.source_path + std::string(name),
                      .destination = folders.target_path + new_name,
                      .status = result.status,
                      .system_error = result.system_error};
  if (outcome.converted()) {
    // A predicted copy has no identity yet.
    if (result.status != CopyStatus::kWouldCreate &&
        result.status != CopyStatus::kWouldReplace) {
      std::lock_guard lock(claimed_mutex_);
      claimed_.Insert(result.destination);
    }
  }
  if (observer_.on_file) observer_.on_file(outcome);
  return Increment(outcome.converted() ? settings_.SuccessCount
                                     : settings_.FailCount);
}

std::string ConversionRun::DestinationKey(const FolderPair& folders,
                                          const std::string& new_name) const {
  return folders.target_key +
         (folders.target_folds_case ? CaseFoldKey(new_name) : new_name);
}

bool ConversionRun::CanHandOut(const std::string& key) const {
  // Near the top a counter has to stop the walk where it passes it.
  constexpr std::int32_t kTop = std::numeric_limits<std::int32_t>::max();
  const auto margin = static_cast<std::int32_t>(kWindow);
  return settings_.SuccessCount < kTop - margin &&
         settings_.FailCount < kTop - margin && !in_flight_.contains(key);
}

void ConversionRun::HandOut(const std::shared_ptr<const FolderPair>& folders,
                            std::string_view name, std::string new_name,
                            std::string key, bool allow_replace) {
  // Once full, the window is emptied by half, so that the walk is woken
  // for many reports at once rather than for each.
  if (pending_.size() >= kWindow) {
    while (pending_.size() > kWindow / 2 && !report_.stopped) Settle(kPoll);
  }
  if (report_.stopped) return;
  in_flight_.insert(key);
  unsent_.push_back(
      CopyJob{folders, std::string(name), new_name, allow_replace});
  if (unsent_.size() == kBatch) Flush();
  pending_.push_back(Pending{
      folders, std::string(name), std::move(new_name), std::move(key), {}});
}

void ConversionRun::Announce(std::function<void()> announce) {
  if (pending_.empty()) {
    announce();
    return;
  }
  pending_.push_back(Pending{{}, {}, {}, {}, std::move(announce)});
}

void ConversionRun::Flush() {
  if (!unsent_.empty()) workers_->Submit(unsent_);
}

void ConversionRun::Settle(std::chrono::milliseconds wait) {
  Flush();
  // A stop is heard between reports as the one job's walk hears it between
  // files, and while nothing is ready.
  while (!pending_.empty()) {
    StopRequested();
    if (!RetireReady(wait)) return;
    wait = std::chrono::milliseconds(0);
  }
}

bool ConversionRun::AnnounceFront() {
  if (pending_.empty() || !pending_.front().announce) return false;
  const std::function<void()> announce = std::move(pending_.front().announce);
  pending_.pop_front();
  announce();
  return true;
}

bool ConversionRun::RetireReady(std::chrono::milliseconds wait) {
  if (AnnounceFront()) return true;
  ready_.clear();
  const std::size_t taken = workers_->TakeReady(ready_, wait);
  if (taken == 0) return false;
  // Later copies may be waiting for these ones' claims.
  struct RetireOnExit {
    CopyWorkers& workers;
    std::size_t count;
    ~RetireOnExit() { workers.Retired(count); }
  } retire{*workers_, taken};
  std::size_t reported = 0;
  try {
    for (const CopyResult& result : ready_) {
      while (AnnounceFront()) {
      }
      if (result.status == CopyStatus::kStopped) {
        // Dropped or discarded, like everything after it: a run of one job
        // would not have got there.
        report_.stopped = true;
        pending_.clear();
        in_flight_.clear();
        retire.count = 0;
        workers_->Clear();
        return false;
      }
      const Pending copy = std::move(pending_.front());
      pending_.pop_front();
      in_flight_.erase(copy.key);
      ++reported;
      // Never ends the walk: the counters stay clear of the top meanwhile.
      ReportCopy(*copy.folders, copy.name, copy.new_name, result);
    }
  } catch (...) {
    // The results taken must not be matched to later copies.
    while (reported < taken && !pending_.empty()) {
      if (!pending_.front().announce) {
        in_flight_.erase(pending_.front().key);
        ++reported;
      }
      pending_.pop_front();
    }
    throw;
  }
  return true;
}

void ConversionRun::Drain() {
  while (!pending_.empty()) Settle(kPoll);
}

bool ConversionRun::Reserved(const CopyJob& job, const FileIdentity& existing,
                             const std::function<bool()>& await_turn) {
  // Only a copy that found its own source at its destination claims a file
  // it did not write; another name of that file is all a later copy can
  // meet, so only then must it wait for the earlier ones to be counted.
  if (HasOtherNames(job.folders->target, job.new_name) && !await_turn()) {
    return true;
  }
  std::lock_guard lock(claimed_mutex_);
  return claimed_.Contains(existing);
}

void ConversionRun::SourceFailure(FolderError error,
                                  const std::string& system_error) {
  Announce([this, failure = FolderFailure{source_path_, error, system_error,
                                          false}] {
    report_.folder_failures.push_back(failure);
    if (observer_.on_folder_failure) observer_.on_folder_failure(failure);
  });
}

void ConversionRun::TargetFailure(FolderError error,
                                  const std::string& system_error) {
  Announce([this, failure = FolderFailure{target_path_, error, system_error,
                                          true}] {
    report_.folder_failures.push_back(failure);
    if (observer_.on_folder_failure) observer_.on_folder_failure(failure);
  });
}

bool ConversionRun::StopRequested() {
  if (!report_.stopped && observer_.stop_requested &&
      observer_.stop_requested()) {
    report_.stopped = true;
    if (workers_) {
      Flush();
      workers_->DropUnstarted();
    }
  }
  return report_.stopped;
}

}  // namespace

int DefaultJobsCap() { return 4; }

int DefaultJobs() {
  // A copy spends much of its time waiting in the kernel, for a lock or the
  // disk: two per core kept both cores of the test machine busier than one.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(2 * cores, 1, DefaultJobsCap());
}

ConversionReport RunConversion(ConversionSettings& settings,
                               const std::string& from_text,
                               const std::string& to_text,
                               const ConversionObserver& observer,
                               const RunOptions& run_options) {
  ConversionReport report;
  report.preview = run_options.preview;
  const auto refuse = [&](Refusal refusal) {
    report.refusal = refusal;
    return report;
  };
  if (settings.FromFolder.empty() || settings.TargetFolder.empty()) {
    return refuse(Refusal::kNoFolders);
  }
  settings.FromExt = std::string(TrimSpaces(from_text));
  settings.ToExt = std::string(TrimSpaces(to_text));
  if (settings.FromExt.empty()) settings.FromExt = "*";
  if (settings.ToExt.empty()) return refuse(Refusal::kNoToExt);
  if (settings.ToExt == settings.FromExt) return refuse(Refusal::kSameExt);
  // Such a suffix could write outside the target folder.
  if (!IsValidFileNamePart(settings.ToExt)) return refuse(Refusal::kBadToExt);
  settings.SuccessCount = 0;
  settings.FailCount = 0;
  try {
    report = ConvertTree(settings, settings.FromFolder, settings.TargetFolder,
                         observer, run_options);
  } catch (const std::exception& error) {
    report.error = error.what();
  }
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

ConversionReport ConvertTree(ConversionSettings& settings,
                             const FolderPath& source, const FolderPath& target,
                             const ConversionObserver& observer,
                             const RunOptions& run_options) {
  ConversionReport report;
  report.preview = run_options.preview;
  // A preview writes nothing to wait for, and foresees collisions by name
  // in the walk's order.
  const int jobs = run_options.preview    ? 1
                   : run_options.jobs > 0 ? run_options.jobs
                                          : DefaultJobs();
  ConversionRun(settings, observer, report, jobs, run_options.preview)
      .Run(source, target);
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

}  // namespace batchext
