#include "engine/copy_executor.h"

#include <algorithm>

namespace batchext {
namespace {

// Files decided ahead of what has been told; memory stays bounded by this,
// whatever the tree.
constexpr std::size_t kWindow = 1024;
// How often the walk tells what is done while it goes on deciding.
constexpr std::size_t kTellEvery = 16;
// How long the walk waits for a copy before it asks about a stop again.
constexpr std::chrono::milliseconds kPoll{20};
// While a job is staging, another is woken for each this many files queued
// for it: each wake-up is a system call, and a busy job finds the next file
// by itself.
constexpr std::size_t kWakeBatch = 8;
// How often the walk looks whether the jobs leave the processors idle.
constexpr std::chrono::milliseconds kLookEvery{50};
// Descriptors left for the walk's own folders and listings.
constexpr std::size_t kKeptForTheWalk = 24;
// Files a job takes, or names, per hold of the lock: with small files the
// lock, not the disk, would otherwise set the pace.
constexpr std::size_t kTakeAtOnce = 8;
constexpr std::size_t kNameAtOnce = 16;

std::size_t Available(std::size_t limit) {
  return limit > kKeptForTheWalk ? limit - kKeptForTheWalk : 0;
}

}  // namespace

CopyExecutor::CopyExecutor(int jobs, int most_jobs, std::size_t open_file_limit,
                           RunReporter& reporter, CpuClock cpu_clock)
    : reporter_(reporter),
      // A staged copy holds two files open (itself and, where both are
      // closed together, its source); a queued folder, two folders.
      staged_budget_(std::max<std::size_t>(
          static_cast<std::size_t>(std::max({jobs, most_jobs, 1})),
          std::min<std::size_t>(256, Available(open_file_limit) / 8))),
      folder_budget_(std::max<std::size_t>(
          1, std::min<std::size_t>(512, Available(open_file_limit) / 8))),
      // A quarter of what may be open, shared by the jobs and this thread.
      files_held_(
          Available(open_file_limit) / 4 /
          (static_cast<std::size_t>(std::max({jobs, most_jobs, 1})) + 1)),
      first_jobs_(static_cast<std::size_t>(std::max(jobs, 1))),
      most_jobs_(static_cast<std::size_t>(std::max({jobs, most_jobs, 1}))),
      cpu_clock_(std::move(cpu_clock)),
      busy_below_(0.5 * std::max(1u, std::thread::hardware_concurrency())),
      here_(jobs <= 1),
      finished_here_(files_held_),
      finished_pool_(files_held_) {
  // Jobs start with the first file handed to them: a chain of nearly empty
  // folders never needs one.
  threads_.reserve(most_jobs_);
}

CopyExecutor::~CopyExecutor() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    abandon_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void CopyExecutor::Folder(const ChainedPath::Ptr& source,
                          const ChainedPath::Ptr& target) {
  Tell([this, source, target] { reporter_.Folder(source, target); });
}

void CopyExecutor::FolderFailed(FolderFailure failure) {
  Tell([this, failure = std::move(failure)] {
    reporter_.FolderFailed(failure);
  });
}

void CopyExecutor::Tell(std::function<void()> notice) {
  if (Idle()) {
    notice();
    return;
  }
  Slot slot;
  slot.notice = std::move(notice);
  slot.state = State::kDone;
  Enqueue(std::move(slot));
}

bool CopyExecutor::File(FileDecision decision) {
  // Asked on the walk's thread, after the walk looked at the folder.
  auto job = std::make_unique<FileJob>(FileJob{std::move(decision),
                                               StagedCopy(), CopyResult(),
                                               reporter_.written().keeping()});
  // Near its top a counter has to end the folder exactly where it passes.
  if (!here_ && reporter_.Headroom() < static_cast<std::int64_t>(2 * kWindow)) {
    Settle();
    here_ = true;
  }
  if (here_) return CarryHere(*job);
  // With nothing in flight, a file of a nearly empty folder is copied here,
  // so that a chain of such folders runs as with one job.
  if (job->decision.few_in_folder) {
    RetireFront(std::chrono::milliseconds(0));
    if (Idle()) return CarryHere(*job);
  }
  const FolderPair* folders = job->decision.folders.get();
  // Asked afresh each time: telling what is done may end the folder's run.
  const auto new_folders = [&] {
    return folder_runs_.empty() || folder_runs_.back().first != folders;
  };
  // Once full, the window is emptied by half, so that the walk is woken
  // for many outcomes at once rather than for each.
  std::size_t room = kWindow;
  while (!stopped_) {
    // Only this thread changes the queue's length.
    const std::size_t queued = slots_.size();
    if (queued < room &&
        (!new_folders() || folder_runs_.size() < folder_budget_)) {
      break;
    }
    room = kWindow / 2;
    MaybeAddJob();
    RetireFront(kPoll, queued >= room ? queued - room + 1 : 1);
    StopRequested();
    // A failure of the moment turned the run to one job meanwhile.
    if (here_) return CarryHere(*job);
  }
  if (stopped_) return false;
  while (threads_.size() < first_jobs_) AddJob();
  if (new_folders()) {
    folder_runs_.emplace_back(folders, 1);
  } else {
    ++folder_runs_.back().second;
  }
  Slot slot;
  const bool nothing_to_write = job->decision.action == FileAction::kFail ||
                                job->decision.action == FileAction::kUnchanged;
  if (nothing_to_write) {
    StageJob(*job, {});
    slot.state = State::kStaged;
  }
  slot.job = std::move(job);
  Enqueue(std::move(slot));
  if (++since_told_ == kTellEvery) {
    since_told_ = 0;
    RetireFront(std::chrono::milliseconds(0));
  }
  return true;
}

void CopyExecutor::Settle() {
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (slots_.empty()) return;
    }
    // A stop is heard while copies finish, as between files.
    StopRequested();
    RetireFront(kPoll);
  }
}

bool CopyExecutor::StopRequested() {
  if (!stopped_ && reporter_.AskStop()) {
    stopped_ = true;
    std::lock_guard lock(mutex_);
    halted_ = true;
    abandon_ = true;
  }
  return stopped_;
}

void CopyExecutor::AddJob() {
  if (threads_.empty()) {
    looked_at_ = std::chrono::steady_clock::now();
    used_then_ = cpu_clock_();
  }
  {
    std::lock_guard lock(mutex_);
    ++jobs_;
  }
  threads_.emplace_back([this] { Work(); });
}

void CopyExecutor::MaybeAddJob() {
  if (threads_.empty() || threads_.size() >= most_jobs_) return;
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double> elapsed = now - looked_at_;
  if (elapsed < kLookEvery) return;
  const std::chrono::nanoseconds used = cpu_clock_();
  const std::chrono::duration<double> busy = used - used_then_;
  looked_at_ = now;
  used_then_ = used;
  // Jobs waiting for the disk leave the processors idle; one more keeps one
  // more read in flight.
  if (busy / elapsed < busy_below_) AddJob();
}

bool CopyExecutor::CarryHere(FileJob& job) {
  const auto stop_requested = [this] { return StopRequested(); };
  if (job.decision.move) {
    MoveJob(job, stop_requested);
  } else {
    StageJob(job, stop_requested, &finished_here_);
    PublishJob(job, &finished_here_);
  }
  return reporter_.File(job.decision, job.result);
}

bool CopyExecutor::Idle() {
  std::lock_guard lock(mutex_);
  return slots_.empty();
}

void CopyExecutor::Enqueue(Slot slot) {
  bool wake = false;
  {
    std::unique_lock lock(mutex_);
    const bool staged = slot.state == State::kStaged;
    const bool queued = slot.state == State::kQueued;
    slots_.push_back(std::move(slot));
    wake =
        queued && idle_ > 0 && (staging_ == 0 || Backlog() % kWakeBatch == 0);
    if (staged) PublishInOrder(lock, finished_here_);
    finished_pool_.TakeFrom(finished_here_);
  }
  if (wake) work_ready_.notify_one();
}

std::size_t CopyExecutor::DoneAtFront() const {
  if (next_publish_ > first_) return next_publish_ - first_;
  return !slots_.empty() && slots_.front().state == State::kDone ? 1 : 0;
}

std::size_t CopyExecutor::Backlog() const {
  const std::uint64_t end = first_ + slots_.size();
  const std::uint64_t next = std::max(next_stage_, first_);
  return end > next ? end - next : 0;
}

void CopyExecutor::RetireFront(std::chrono::milliseconds wait,
                               std::size_t wanted) {
  std::vector<Slot> retired;
  bool fall_back = false;
  {
    std::unique_lock lock(mutex_);
    if (slots_.empty()) return;
    wanted = std::min(wanted, slots_.size());
    const auto enough_done = [&] {
      return halted_ ||
             (slots_.front().state == State::kDone && DoneAtFront() >= wanted);
    };
    if (wait.count() > 0 && !enough_done()) {
      waiting_ = true;
      wanted_ = wanted;
      done_.wait_for(lock, wait, enough_done);
      waiting_ = false;
    }
    // Once halted, nothing moves after the workers are quiet.
    if (halted_) {
      AwaitQuiet(lock);
      if (stopped_) NameFinishedCopies(lock);
    }
    while (!slots_.empty() && slots_.front().state == State::kDone) {
      retired.push_back(std::move(slots_.front()));
      slots_.pop_front();
      ++first_;
    }
    if (halted_ && !slots_.empty()) {
      if (stopped_) {
        DropUnpublished(lock);
      } else {
        fall_back = true;
      }
    }
  }
  TellRetired(retired);
  if (fall_back) {
    std::unique_lock lock(mutex_);
    FallBack(lock);
  }
}

void CopyExecutor::TellRetired(std::vector<Slot>& retired) {
  for (std::size_t i = 0; i < retired.size(); ++i) {
    Slot& slot = retired[i];
    try {
      if (!slot.job) {
        slot.notice();
        continue;
      }
      if (--folder_runs_.front().second == 0) folder_runs_.pop_front();
      // Never ends the walk: the counters stay clear of the top meanwhile.
      reporter_.File(slot.job->decision, slot.job->result);
    } catch (...) {
      // What was not told yet is told next time, in its place.
      std::lock_guard lock(mutex_);
      for (std::size_t j = retired.size(); j > i + 1; --j) {
        slots_.push_front(std::move(retired[j - 1]));
        --first_;
      }
      throw;
    }
  }
}

void CopyExecutor::FallBack(std::unique_lock<std::mutex>& lock) {
  AwaitQuiet(lock);
  here_ = true;
  finished_here_.CloseAll();
  finished_pool_.CloseAll();
  // What the copies without a name hold (space, open files) is given back
  // first, as one job would never have held it.
  for (Slot& slot : slots_) {
    if (slot.job && slot.state != State::kDone) slot.job->staged.Discard();
  }
  while (!slots_.empty() && !stopped_) {
    Slot slot = std::move(slots_.front());
    slots_.pop_front();
    ++first_;
    lock.unlock();
    if (!slot.job) {
      slot.notice();
    } else {
      if (--folder_runs_.front().second == 0) folder_runs_.pop_front();
      if (slot.state == State::kDone) {
        reporter_.File(slot.job->decision, slot.job->result);
      } else {
        CarryHere(*slot.job);
      }
    }
    lock.lock();
  }
  if (stopped_) DropUnpublished(lock);
}

void CopyExecutor::DropUnpublished(std::unique_lock<std::mutex>& lock) {
  AwaitQuiet(lock);
  // The dropped files are the last of those queued, folder by folder.
  for (const Slot& slot : slots_) {
    if (!slot.job) continue;
    if (--folder_runs_.back().second == 0) folder_runs_.pop_back();
  }
  first_ += slots_.size();
  slots_.clear();
}

void CopyExecutor::NameFinishedCopies(std::unique_lock<std::mutex>& lock) {
  next_publish_ = std::max(next_publish_, first_);
  while (next_publish_ < first_ + slots_.size()) {
    Slot& slot = At(next_publish_);
    if (slot.state == State::kStaged &&
        slot.job->result.status != CopyStatus::kStopped) {
      lock.unlock();
      PublishJob(*slot.job);
      lock.lock();
    } else if (slot.state != State::kDone) {
      return;
    }
    slot.state = State::kDone;
    ++next_publish_;
  }
}

void CopyExecutor::AwaitQuiet(std::unique_lock<std::mutex>& lock) {
  abandon_ = true;
  waiting_ = true;
  wanted_ = 0;
  done_.wait(lock, [&] { return staging_ == 0 && !publishing_; });
  waiting_ = false;
  abandon_ = stopped_;
}

bool CopyExecutor::CanStage() {
  if (halted_) return false;
  const std::uint64_t end = first_ + slots_.size();
  next_stage_ = std::max(next_stage_, first_);
  while (next_stage_ < end && At(next_stage_).state != State::kQueued) {
    ++next_stage_;
  }
  return next_stage_ < end &&
         next_stage_ < std::max(next_publish_, first_) + staged_budget_;
}

void CopyExecutor::TakeWork(std::vector<Slot*>& taken) {
  taken.clear();
  // A share of what is queued, so that the other jobs find work too.
  const std::size_t share =
      std::clamp<std::size_t>(Backlog() / jobs_, 1, kTakeAtOnce);
  while (taken.size() < share && CanStage()) {
    Slot& slot = At(next_stage_++);
    slot.state = State::kStaging;
    taken.push_back(&slot);
  }
  staging_ += static_cast<int>(taken.size());
}

void CopyExecutor::Work() {
  FinishedFiles finished(files_held_);
  std::vector<Slot*> taken;
  taken.reserve(kTakeAtOnce);
  std::unique_lock lock(mutex_);
  while (true) {
    ++idle_;
    // Nothing stays open while the job waits.
    if (!finished.empty() && !closing_ && !CanStage()) {
      lock.unlock();
      finished.CloseAll();
      lock.lock();
    }
    work_ready_.wait(lock, [&] { return closing_ || CanStage(); });
    --idle_;
    if (closing_) return;
    TakeWork(taken);
    lock.unlock();
    for (Slot* slot : taken) {
      if (abandon_) {
        slot->job->result = CopyResult::Of(CopyStatus::kStopped);
        continue;
      }
      StageJob(
          *slot->job, [this] { return abandon_.load(); }, &finished);
    }
    lock.lock();
    staging_ -= static_cast<int>(taken.size());
    for (Slot* slot : taken) {
      slot->state = State::kStaged;
      slot->momentary = IsMomentary(slot->job->result);
    }
    PublishInOrder(lock, finished);
    // Pooled, the sources and the copies of all jobs make longer runs of
    // descriptors; a job that finds the pool due closes it, outside the
    // lock.
    finished_pool_.TakeFrom(finished);
    if (finished_pool_.Due()) finished.Swap(finished_pool_);
  }
}

std::size_t CopyExecutor::GatherNameable() {
  naming_.clear();
  std::size_t copies = 0;
  const std::uint64_t end = first_ + slots_.size();
  // The run starts at a copy: done slots before it may be retired while the
  // lock is let go, those after it may not.
  while (next_publish_ < end && At(next_publish_).state == State::kDone) {
    ++next_publish_;
  }
  for (std::uint64_t sequence = next_publish_;
       sequence < end && copies < kNameAtOnce; ++sequence) {
    Slot& slot = At(sequence);
    if (slot.state == State::kStaged && slot.momentary) {
      halted_ = true;
      break;
    }
    if (slot.state != State::kStaged && slot.state != State::kDone) break;
    naming_.push_back(&slot);
    copies += slot.state == State::kStaged;
  }
  return copies;
}

void CopyExecutor::PublishInOrder(std::unique_lock<std::mutex>& lock,
                                  FinishedFiles& finished) {
  if (publishing_) return;
  publishing_ = true;
  next_publish_ = std::max(next_publish_, first_);
  // Staging waits for room among the staged copies; only then does naming
  // them call for waking the jobs.
  const bool held_back =
      idle_ > 0 && Backlog() > 0 &&
      std::max(next_stage_, first_) >= next_publish_ + staged_budget_;
  // Once copies are abandoned, nothing more is named here.
  while (!halted_ && !abandon_ && GatherNameable() > 0) {
    lock.unlock();
    std::size_t named = 0;
    bool momentary = false;
    for (Slot* slot : naming_) {
      // A halt is heard between names, as when they were named one by one:
      // after a stop, the names go only to an unbroken run.
      if (abandon_) break;
      if (slot->state == State::kStaged && slot->job->staged.staged()) {
        PublishJob(*slot->job, &finished);
        momentary = IsMomentary(slot->job->result);
        if (momentary) break;
      }
      ++named;
    }
    lock.lock();
    for (std::size_t i = 0; i < named; ++i) naming_[i]->state = State::kDone;
    next_publish_ += named;
    // The next gathering halts at it.
    if (momentary) naming_[named]->momentary = true;
    // Workers held back for room among the staged copies go on while the
    // rest is named, not after.
    if (held_back) work_ready_.notify_all();
  }
  naming_.clear();
  publishing_ = false;
  if (waiting_ && (halted_ || wanted_ == 0 || DoneAtFront() >= wanted_)) {
    done_.notify_all();
  }
}

}  // namespace batchext
