#include "workshop/chm/ChmFullTextIndexer.h"

#include <memory>
#include <utility>

namespace corvina::chm {

// Pages are small: enough of them in flight that no worker waits for the next.
constexpr size_t kPagesPerThread = 16;

ChmFullTextIndexer::ChmFullTextIndexer(int threads, uint32_t lcid,
                                       const std::vector<std::string>& stop_words,
                                       std::filesystem::path scratch_folder)
    : stop_words_(stop_words.begin(), stop_words.end()),
      index_(lcid, std::move(scratch_folder)),
      pages_(
          threads, kPagesPerThread,
          [this] { return OrderedWork<Job>::Work([this](Job& job) { Read(job); }); },
          [this](Job& job) { index_.AddPage(job.topic, job.words); }) {}

void ChmFullTextIndexer::Read(Job& job) const {
  PageWords words = ExtractPageWords(job.html);
  job.html = std::string();  // a large page need not be held twice
  if (!stop_words_.empty()) {
    std::erase_if(words.words, [&](const PageWord& word) {
      return stop_words_.contains(std::string(words.Text(word)));
    });
  }
  job.words = GroupPageWords(words);
}

void ChmFullTextIndexer::AddPage(uint32_t topic, std::string html) {
  auto job = std::make_unique<Job>();
  job->topic = topic;
  job->html = std::move(html);
  pages_.Add(std::move(job));
}

bool ChmFullTextIndexer::Finish(const std::function<bool(std::span<const uint8_t>)>& out) {
  pages_.Finish();
  return index_.Write(out);
}

}  // namespace corvina::chm
