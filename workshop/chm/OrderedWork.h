#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace corvina::chm {

// Runs jobs on worker threads and hands them back in the order they were added, so what is
// made of them does not depend on the number of threads. The calling thread works too whenever
// it would otherwise wait, and at most a few jobs per thread are held at once.
template <typename Job>
class OrderedWork {
 public:
  using Work = std::function<void(Job&)>;

  // `threads` <= 0 uses every core; 1 works on the calling thread only, N adds N - 1 workers.
  // `make_work` gives each thread (the caller's too) its own work function; `deliver` takes
  // the finished jobs on the calling thread, in order. `per_thread` jobs per thread may be in
  // flight.
  OrderedWork(int threads, size_t per_thread, const std::function<Work()>& make_work,
              std::function<void(Job&)> deliver)
      : deliver_(std::move(deliver)), work_(make_work()) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    max_in_flight_ = static_cast<size_t>(threads) * per_thread;
    for (int i = 1; i < threads; ++i)
      workers_.emplace_back([this, work = make_work()] { WorkerLoop(work); });
  }
  ~OrderedWork() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_)
      worker.join();
  }
  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  // Queues the job; delivers those that are finished, waiting only while too many are held.
  void Add(std::unique_ptr<Job> job) {
    if (workers_.empty()) {
      work_(*job);
      deliver_(*job);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      in_flight_.push_back(Slot{std::move(job), false});
      todo_.push_back(&in_flight_.back());
    }
    work_ready_.notify_one();
    DeliverReady(false);
  }
  // Delivers every job added.
  void Finish() { DeliverReady(true); }

 private:
  struct Slot {
    std::unique_ptr<Job> job;
    bool done = false;
  };

  void WorkerLoop(const Work& work) {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
      if (todo_.empty()) return;
      DoNext(work, lock);
    }
  }

  // Does the oldest job that no thread took yet; `lock` is held before and after.
  void DoNext(const Work& work, std::unique_lock<std::mutex>& lock) {
    Slot* slot = todo_.front();
    todo_.pop_front();
    lock.unlock();
    work(*slot->job);
    lock.lock();
    slot->done = true;
    job_done_.notify_all();
  }

  // Without `wait_all` it waits only while too many jobs are in flight; rather than wait it
  // does a job no worker took yet.
  void DeliverReady(bool wait_all) {
    std::unique_lock lock(mutex_);
    while (!in_flight_.empty()) {
      if (!in_flight_.front().done) {
        if (!wait_all && in_flight_.size() < max_in_flight_) break;
        if (!todo_.empty()) {
          DoNext(work_, lock);
          continue;
        }
        job_done_.wait(lock, [this] { return in_flight_.front().done; });
      }
      std::unique_ptr<Job> job = std::move(in_flight_.front().job);
      in_flight_.pop_front();
      lock.unlock();
      deliver_(*job);
      job.reset();  // released before the next one is taken
      lock.lock();
    }
  }

  std::function<void(Job&)> deliver_;
  Work work_;  // the calling thread's
  size_t max_in_flight_ = 0;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<Slot> in_flight_;  // in the order added; a deque keeps each slot in place
  std::deque<Slot*> todo_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace corvina::chm
