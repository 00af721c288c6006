#include "engine/copy_workers.h"

#include <utility>

namespace batchext {

CopyWorkers::CopyWorkers(int count, ReservedCheck is_reserved)
    : is_reserved_(std::move(is_reserved)) {
  threads_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
}

CopyWorkers::~CopyWorkers() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  job_ready_.notify_all();
  turn_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void CopyWorkers::Submit(CopyJob job) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    slots_.push_back(Slot{std::move(job), std::nullopt});
    wake = idle_ > 0;
  }
  // Each wake-up is a system call: a busy worker finds the job by itself.
  if (wake) job_ready_.notify_one();
}

const CopyResult* CopyWorkers::Oldest(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (slots_.empty()) return nullptr;
  result_ready_.wait_for(lock, wait,
                         [&] { return slots_.front().result.has_value(); });
  // A deque keeps its elements in place while others come and go.
  return slots_.front().result ? &*slots_.front().result : nullptr;
}

void CopyWorkers::Retire() {
  {
    std::lock_guard lock(mutex_);
    slots_.pop_front();
    ++first_;
  }
  turn_.notify_all();
}

void CopyWorkers::DropUnstarted() {
  {
    std::lock_guard lock(mutex_);
    for (; next_start_ < first_ + slots_.size(); ++next_start_) {
      Slot& slot = slots_[next_start_ - first_];
      slot.job = {};
      slot.result = CopyResult{CopyStatus::kStopped, {}, {}};
    }
    dropping_ = true;
    kept_below_ = next_start_;
  }
  result_ready_.notify_all();
}

void CopyWorkers::Clear() {
  std::unique_lock lock(mutex_);
  // A discarded copy may still be tidying up.
  result_ready_.wait(lock, [&] {
    for (const Slot& slot : slots_) {
      if (!slot.result) return false;
    }
    return true;
  });
  first_ += slots_.size();
  next_start_ = first_;
  slots_.clear();
}

void CopyWorkers::Work() {
  std::unique_lock lock(mutex_);
  while (true) {
    ++idle_;
    job_ready_.wait(
        lock, [&] { return closing_ || next_start_ < first_ + slots_.size(); });
    --idle_;
    if (closing_) return;
    const std::uint64_t sequence = next_start_++;
    // Moved out, so that the folders close as soon as this copy is done.
    const CopyJob job = std::move(slots_[sequence - first_].job);
    lock.unlock();
    CopyOptions options;
    options.allow_replace = job.allow_replace;
    options.is_reserved = [&](const FileIdentity& existing) {
      return Reserved(sequence, job, existing);
    };
    options.stop_requested = [&] { return Discard(sequence); };
    CopyResult result = CopyFileAt(job.folders->source, job.name,
                                   job.folders->target, job.new_name, options);
    lock.lock();
    slots_[sequence - first_].result = std::move(result);
    // Only the oldest is ever waited for.
    if (sequence == first_) result_ready_.notify_all();
  }
}

bool CopyWorkers::Discard(std::uint64_t sequence) {
  std::lock_guard lock(mutex_);
  if (!dropping_ || sequence + 1 != kept_below_) return false;
  kept_below_ = sequence;
  return true;
}

bool CopyWorkers::Reserved(std::uint64_t sequence, const CopyJob& job,
                           const FileIdentity& existing) {
  const std::function<bool()> await_turn = [&] {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return closing_ || first_ == sequence; });
    return !closing_;
  };
  return is_reserved_(job, existing, await_turn);
}

}  // namespace batchext
