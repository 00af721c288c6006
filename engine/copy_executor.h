#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/executor.h"
#include "engine/file_job.h"
#include "engine/run_reporter.h"

namespace batchext {

// Carries decisions out with a number of jobs. One job runs each file on
// the calling thread as it is decided. More jobs write copies side by side
// but give them their names strictly in the walk's order, so that what
// stands on disk is at every moment what one job would have left: a stop
// or a failure of the moment (no space, no more open files) finds an
// unbroken run of finished files, and after such a failure the run goes on
// with one job from that file on. Moves take one job: each file takes its
// new name as it is decided.
class CopyExecutor final : public Executor {
 public:
  // Reads the processor time spent busy so far, all processors together.
  using CpuClock = std::function<std::chrono::nanoseconds()>;

  // Starts `jobs` jobs, and more up to `most_jobs` while the jobs leave the
  // processors idle, waiting for the disk. `open_file_limit` bounds what is
  // held open at once.
  CopyExecutor(int jobs, int most_jobs, std::size_t open_file_limit,
               RunReporter& reporter, CpuClock cpu_clock);
  ~CopyExecutor() override;
  CopyExecutor(const CopyExecutor&) = delete;
  CopyExecutor& operator=(const CopyExecutor&) = delete;

  void Folder(const ChainedPath::Ptr& source,
              const ChainedPath::Ptr& target) override;
  void FolderFailed(FolderFailure failure) override;
  bool File(FileDecision decision) override;
  void Settle() override;
  bool StopRequested() override;
  bool Stopped() const override { return stopped_; }

 private:
  enum class State { kQueued, kStaging, kStaged, kDone };

  struct Slot {
    // Empty for something to tell that needs no work. Held apart, so that
    // a slot moves cheaply.
    std::unique_ptr<FileJob> job;
    std::function<void()> notice;
    State state = State::kQueued;
    bool momentary = false;
  };

  bool CarryHere(FileJob& job);
  void AddJob();
  // While the walk waits for the jobs: one more job where they left the
  // processors idle since the last look.
  void MaybeAddJob();
  // Nothing is queued or in flight.
  bool Idle();
  void Tell(std::function<void()> notice);
  void Enqueue(Slot slot);
  // Tells what is done at the front, waiting at most `wait` for `wanted`
  // files or notices to be done there.
  void RetireFront(std::chrono::milliseconds wait, std::size_t wanted = 1);
  // Of the queue, the run at the front that is done; the queued files that
  // no job has taken yet (a bound).
  std::size_t DoneAtFront() const;
  std::size_t Backlog() const;
  void TellRetired(std::vector<Slot>& retired);
  // Everything not yet given a name is done again, one file after another.
  void FallBack(std::unique_lock<std::mutex>& lock);
  // After a stop: whatever has no name yet is thrown away.
  void DropUnpublished(std::unique_lock<std::mutex>& lock);
  // After a stop: copies written whole before it still take their names,
  // up to the first that was not.
  void NameFinishedCopies(std::unique_lock<std::mutex>& lock);
  void AwaitQuiet(std::unique_lock<std::mutex>& lock);
  void Work();
  bool CanStage();
  // Marks for staging a share of the queued files.
  void TakeWork(std::vector<Slot*>& taken);
  // Into `naming_`, the run of slots from the next to be named that are
  // ready for it; how many of them hold copies.
  std::size_t GatherNameable();
  // Copies named here go to `finished`, the calling thread's.
  void PublishInOrder(std::unique_lock<std::mutex>& lock,
                      FinishedFiles& finished);
  Slot& At(std::uint64_t sequence) { return slots_[sequence - first_]; }

  RunReporter& reporter_;
  const std::size_t staged_budget_;
  const std::size_t folder_budget_;
  // Finished files each job holds before closing them together.
  const std::size_t files_held_;
  const std::size_t first_jobs_;
  const std::size_t most_jobs_;
  const CpuClock cpu_clock_;
  // Below this many processors busy, the jobs are taken to be waiting.
  const double busy_below_;
  std::chrono::steady_clock::time_point looked_at_;
  std::chrono::nanoseconds used_then_{};
  // On this thread from now on, with the queue empty.
  bool here_;
  // The finished files of those carried out on this thread.
  FinishedFiles finished_here_;
  bool stopped_ = false;
  std::size_t since_told_ = 0;
  // The folders of the queued files, a run of files per folder, oldest
  // first: each holds its folders open. Only the walk's thread uses it.
  std::deque<std::pair<const FolderPair*, std::size_t>> folder_runs_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable done_;
  std::deque<Slot> slots_;
  std::uint64_t first_ = 0;
  std::uint64_t next_stage_ = 0;
  std::uint64_t next_publish_ = 0;
  // Jobs started; they take their share of the queue by it.
  std::size_t jobs_ = 0;
  int staging_ = 0;
  int idle_ = 0;
  bool publishing_ = false;
  // Used by whichever thread is publishing.
  std::vector<Slot*> naming_;
  // What the threads finished with, gathered to be closed together.
  FinishedFiles finished_pool_;
  // The walk's thread waits on `done_`.
  bool waiting_ = false;
  // How much of the front it waits for; 0 for any change.
  std::size_t wanted_ = 1;
  // Nothing more is staged or published: a stop, or a fall-back due.
  bool halted_ = false;
  bool closing_ = false;
  // Tells copies under way to give up between chunks.
  std::atomic<bool> abandon_{false};
  std::vector<std::thread> threads_;
};

}  // namespace batchext
