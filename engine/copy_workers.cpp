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

void CopyWorkers::Submit(std::vector<CopyJob>& jobs) {
  int wake = 0;
  {
    std::lock_guard lock(mutex_);
    for (CopyJob& job : jobs) {
      slots_.push_back(Slot{std::move(job), std::nullopt});
    }
    wake = idle_;
  }
  jobs.clear();
  // Each wake-up is a system call: a busy worker finds the jobs by itself.
  if (wake > 1) {
    job_ready_.notify_all();
  } else if (wake == 1) {
    job_ready_.notify_one();
  }
}

std::size_t CopyWorkers::TakeReady(std::vector<CopyResult>& results,
                                   std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (slots_.empty()) return 0;
  result_ready_.wait_for(lock, wait,
                         [&] { return slots_.front().result.has_value(); });
  std::size_t taken = 0;
  while (!slots_.empty() && slots_.front().result) {
    results.push_back(*std::move(slots_.front().result));
    slots_.pop_front();
    ++first_;
    ++taken;
  }
  return taken;
}

void CopyWorkers::Retired(std::size_t count) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    retired_ += count;
    wake = awaiting_turn_ > 0;
  }
  if (wake) turn_.notify_all();
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
  clearing_ = true;
  result_ready_.wait(lock, [&] {
    for (const Slot& slot : slots_) {
      if (!slot.result) return false;
    }
    return true;
  });
  clearing_ = false;
  first_ += slots_.size();
  next_start_ = first_;
  retired_ = first_;
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
    // Only the oldest is waited for, but for Clear().
    if (sequence == first_ || clearing_) result_ready_.notify_all();
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
    ++awaiting_turn_;
    turn_.wait(lock, [&] { return closing_ || retired_ == sequence; });
    --awaiting_turn_;
    return !closing_;
  };
  return is_reserved_(job, existing, await_turn);
}

}  // namespace batchext
