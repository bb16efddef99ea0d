#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "workshop/chm/ChmFullTextIndex.h"
#include "workshop/chm/ChmFullTextWords.h"

namespace corvina::chm {

// Builds the full-text search index of pages handed over one at a time: their words are read
// on worker threads and added to the index in the order the pages came, so the bytes are the
// same for any number of threads. At most a few pages per worker wait in memory.
class ChmFullTextIndexer {
 public:
  // `threads` <= 0 uses every core; 1 reads on the calling thread only, N adds N - 1 workers.
  ChmFullTextIndexer(int threads, uint32_t lcid);
  ~ChmFullTextIndexer();
  ChmFullTextIndexer(const ChmFullTextIndexer&) = delete;
  ChmFullTextIndexer& operator=(const ChmFullTextIndexer&) = delete;

  // `topic` is the page's #TOPICS index, larger than that of any page before.
  void AddPage(uint32_t topic, std::string html);
  // Waits for every page and hands the bytes of /$FIftiMain to `out` in order, a piece at a
  // time, releasing the index as it goes; false when `out` refused a piece.
  bool Finish(const std::function<bool(std::span<const uint8_t>)>& out);

 private:
  struct Job {
    uint32_t topic = 0;
    std::string html;
    PageWordGroups words;
    bool done = false;
  };
  static void Read(Job& job);
  void WorkerLoop();
  void MergeReady(bool wait_all);

  ChmFullTextIndex index_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::unique_ptr<Job>> in_flight_;  // in page order
  std::deque<Job*> todo_;
  bool stopping_ = false;
  size_t max_in_flight_ = 0;
  std::vector<std::thread> workers_;
};

}  // namespace corvina::chm
