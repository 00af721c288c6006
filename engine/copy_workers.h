#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_handle.h"

namespace batchext {

// A source folder and its target, open for as long as a copy between them
// waits or runs.
struct FolderPair {
  FolderHandle source;
  FolderHandle target;
  // As shown to the observer.
  std::string source_path;
  std::string target_path;
  // Names the target folder among the destinations of copies in flight.
  std::string target_key;
  bool target_folds_case = false;
};

struct CopyJob {
  std::shared_ptr<const FolderPair> folders;
  std::string name;
  std::string new_name;
  bool allow_replace = true;
};

// Threads that copy the files handed to them, starting them in the order
// given, and hand the results back in that same order.
class CopyWorkers {
 public:
  // Asked by a worker about an existing destination, as CopyOptions asks.
  // `await_turn` returns once every earlier job's result has been retired,
  // or false when the workers are closing instead.
  using ReservedCheck =
      std::function<bool(const CopyJob& job, const FileIdentity& existing,
                         const std::function<bool()>& await_turn)>;

  CopyWorkers(int count, ReservedCheck is_reserved);
  ~CopyWorkers();
  CopyWorkers(const CopyWorkers&) = delete;
  CopyWorkers& operator=(const CopyWorkers&) = delete;

  // Takes the jobs, leaving `jobs` empty.
  void Submit(std::vector<CopyJob>& jobs);
  // Moves the results of the oldest jobs that are done into `results`,
  // waiting at most `wait` for the first; answers how many.
  std::size_t TakeReady(std::vector<CopyResult>& results,
                        std::chrono::milliseconds wait);
  // The results taken so far are accounted for: a job waiting for its turn
  // may look at what they left.
  void Retired(std::size_t count);
  // Jobs not started yet never start; they come back as kStopped. A large
  // copy under way is discarded too, but only while every job after it has
  // been, so that what was written stays an unbroken run from the first.
  void DropUnstarted();
  // Forgets every job; only for jobs that are all done or dropped.
  void Clear();

 private:
  struct Slot {
    CopyJob job;
    std::optional<CopyResult> result;
  };

  void Work();
  bool Discard(std::uint64_t sequence);
  bool Reserved(std::uint64_t sequence, const CopyJob& job,
                const FileIdentity& existing);

  const ReservedCheck is_reserved_;
  std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable result_ready_;
  std::condition_variable turn_;
  // The jobs whose results are not taken yet; the front one is number
  // `first_`.
  std::deque<Slot> slots_;
  std::uint64_t first_ = 0;
  std::uint64_t retired_ = 0;
  int awaiting_turn_ = 0;
  bool clearing_ = false;
  std::uint64_t next_start_ = 0;
  bool dropping_ = false;
  // Every job from here on is dropped or discarded.
  std::uint64_t kept_below_ = 0;
  bool closing_ = false;
  int idle_ = 0;
  std::vector<std::thread> threads_;
};

}  // namespace batchext
