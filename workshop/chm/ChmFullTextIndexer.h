#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "workshop/chm/ChmFullTextIndex.h"
#include "workshop/chm/ChmFullTextWords.h"
#include "workshop/chm/OrderedWork.h"

namespace corvina::chm {

// Builds the full-text search index of pages handed over one at a time: their words are read
// on worker threads and added to the index in the order the pages came, so the bytes are the
// same for any number of threads. At most a few pages per worker wait in memory.
class ChmFullTextIndexer {
 public:
  // `threads` <= 0 uses every core; 1 reads on the calling thread only, N adds N - 1 workers.
  // `stop_words` (as the index stores words) are left out of it. Location lists beyond a
  // megabyte go to unnamed files in `scratch_folder` (none: all are held).
  ChmFullTextIndexer(int threads, uint32_t lcid, const std::vector<std::string>& stop_words = {},
                     std::filesystem::path scratch_folder = {});

  // `topic` is the page's #TOPICS index, larger than that of any page before.
  void AddPage(uint32_t topic, std::string html);
  // Waits for every page and hands the bytes of /$FIftiMain to `out` in order, a piece at a
  // time, releasing the index as it goes; false when `out` refused a piece.
  bool Finish(const std::function<bool(std::span<const uint8_t>)>& out);
  // The first failure of a scratch file.
  const Status& status() const { return index_.status(); }

 private:
  struct Job {
    uint32_t topic = 0;
    std::string html;
    PageWordGroups words;
  };
  void Read(Job& job) const;

  const std::unordered_set<std::string> stop_words_;  // read by every thread, never changed
  ChmFullTextIndex index_;
  OrderedWork<Job> pages_;  // after index_, which it adds to
};

}  // namespace corvina::chm
