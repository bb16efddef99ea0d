#include "workshop/chm/ChmFullTextIndexer.h"

#include <algorithm>

namespace corvina::chm {

ChmFullTextIndexer::ChmFullTextIndexer(int threads, uint32_t lcid) : index_(lcid) {
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // Pages are small: enough of them in flight that no worker waits for the next.
  max_in_flight_ = static_cast<size_t>(threads) * 16;
  for (int i = 1; i < threads; ++i)
    workers_.emplace_back([this] { WorkerLoop(); });
}

ChmFullTextIndexer::~ChmFullTextIndexer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

void ChmFullTextIndexer::Read(Job& job) {
  const PageWords words = ExtractPageWords(job.html);
  job.html = std::string();  // a large page need not be held twice
  job.words = GroupPageWords(words);
}

void ChmFullTextIndexer::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
    if (todo_.empty()) return;
    Job* job = todo_.front();
    todo_.pop_front();
    lock.unlock();
    Read(*job);
    lock.lock();
    job->done = true;
    job_done_.notify_all();
  }
}

// Adds finished pages to the index in page order. Without `wait_all` it waits only while too
// many pages are in flight; rather than wait it reads a page no worker took yet.
void ChmFullTextIndexer::MergeReady(bool wait_all) {
  std::unique_lock lock(mutex_);
  while (!in_flight_.empty()) {
    if (!in_flight_.front()->done) {
      if (!wait_all && in_flight_.size() < max_in_flight_) break;
      if (!todo_.empty()) {
        Job* job = todo_.front();
        todo_.pop_front();
        lock.unlock();
        Read(*job);
        lock.lock();
        job->done = true;
        continue;
      }
      job_done_.wait(lock, [this] { return in_flight_.front()->done; });
    }
    std::unique_ptr<Job> job = std::move(in_flight_.front());
    in_flight_.pop_front();
    lock.unlock();
    index_.AddPage(job->topic, job->words);
    job.reset();
    lock.lock();
  }
}

void ChmFullTextIndexer::AddPage(uint32_t topic, std::string html) {
  auto job = std::make_unique<Job>();
  job->topic = topic;
  job->html = std::move(html);
  if (workers_.empty()) {
    Read(*job);
    index_.AddPage(job->topic, job->words);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    todo_.push_back(job.get());
    in_flight_.push_back(std::move(job));
  }
  work_ready_.notify_one();
  MergeReady(false);
}

bool ChmFullTextIndexer::Finish(const std::function<bool(std::span<const uint8_t>)>& out) {
  MergeReady(true);
  return index_.Write(out);
}

}  // namespace corvina::chm
