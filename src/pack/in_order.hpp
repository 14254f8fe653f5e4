// Work on many threads, results in order: a job runs for each of `count` items on worker
// threads, and the calling thread takes the results strictly in item order. Whatever the caller
// does with a result (writing it, printing its warning, deciding something from what came before)
// therefore happens exactly as in a plain loop, whatever the number of threads; only the jobs,
// which must not depend on each other, overlap.
//
// A job that throws has its exception rethrown to the caller in place of its result, so the first
// failure in item order is the one the caller meets, and nothing after it is taken.
//
// Memory stays bounded: a worker starts item k only while k is fewer than kResultsPerThread times
// the thread count past the item the caller takes next. So at most one item per thread is being
// worked on, and at most that many finished results wait, however many items there are.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace varnu::pack {

// How far ahead of the caller the workers may run, per thread: one slow item then leaves the
// other threads a whole item of work each before they wait for it.
inline constexpr std::size_t kResultsPerThread = 2;

// While it waits for a result, the caller is called back this often (to redraw a progress line).
inline constexpr std::chrono::milliseconds kWaitingTick{100};

template <typename Result>
class InOrderWorkers {
 public:
  // Starts up to `threads` workers running `work(k)`, which must outlive this object. Starts
  // fewer when the system refuses more, and none at all (see started()) when it refuses the first.
  template <typename Work>
  InOrderWorkers(std::size_t count, unsigned threads, Work& work)
      : count_(count), slots_(threads * kResultsPerThread) {
    try {
      for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this, &work] { serve(work); });
    } catch (const std::system_error&) {
      // Fewer threads only make it slower.
    }
  }

  // Stops the workers and waits for them: a job already started runs to its end.
  ~InOrderWorkers() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    claimable_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  InOrderWorkers(const InOrderWorkers&) = delete;
  InOrderWorkers& operator=(const InOrderWorkers&) = delete;

  bool started() const { return !workers_.empty(); }

  // The result of the next item, or its job's exception; `waiting()` is called about every
  // kWaitingTick until it is there.
  template <typename Waiting>
  Result take_next(Waiting& waiting) {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[next_take_ % slots_.size()];
    while (!slot.ready) {
      if (finished_.wait_for(lock, kWaitingTick) == std::cv_status::timeout) {
        lock.unlock();
        waiting();
        lock.lock();
      }
    }
    Slot taken = std::move(slot);
    slot = Slot{};
    ++next_take_;
    lock.unlock();
    claimable_.notify_all();
    if (taken.error) std::rethrow_exception(taken.error);
    return std::move(*taken.result);
  }

 private:
  struct Slot {
    std::optional<Result> result;
    std::exception_ptr error;
    bool ready = false;
  };

  template <typename Work>
  void serve(Work& work) {
    std::unique_lock lock(mutex_);
    for (;;) {
      claimable_.wait(lock, [this] {
        return stopping_ || next_claim_ == count_ || next_claim_ < next_take_ + slots_.size();
      });
      if (stopping_ || next_claim_ == count_) return;
      const std::size_t k = next_claim_++;
      lock.unlock();
      Slot done;
      try {
        done.result.emplace(work(k));
      } catch (...) {
        done.error = std::current_exception();
      }
      done.ready = true;
      lock.lock();
      // Every item before k was claimed before it, and the caller stops at k: nothing after it
      // is needed.
      if (done.error) count_ = next_claim_;
      slots_[k % slots_.size()] = std::move(done);
      finished_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable claimable_;  // an item may be claimed, or the workers are to stop
  std::condition_variable finished_;   // a result is in its slot
  std::size_t count_;                  // items to claim; cut short after a failure
  std::vector<Slot> slots_;            // item k's result waits in slot k % size
  std::size_t next_claim_ = 0;
  std::size_t next_take_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Calls take(k, work(k)) for k = 0, 1, ... count - 1, in that order, taking each on the calling
// thread and running `work` on up to `threads` threads (on the calling thread alone when that is
// 1, or when no thread can be started). Stops at the first exception from either, which it
// rethrows once every started job has ended. `waiting()` is called on the calling thread about
// every kWaitingTick while it waits for a job.
template <typename Result, typename Work, typename Take, typename Waiting>
void run_in_order(std::size_t count, unsigned threads, Work work, Take take, Waiting waiting) {
  if (threads > count) threads = static_cast<unsigned>(count);
  if (threads > 1) {
    InOrderWorkers<Result> workers(count, threads, work);
    if (workers.started()) {
      for (std::size_t k = 0; k < count; ++k) take(k, workers.take_next(waiting));
      return;
    }
  }
  for (std::size_t k = 0; k < count; ++k) take(k, work(k));
}

}  // namespace varnu::pack
