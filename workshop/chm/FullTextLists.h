#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/Status.h"

namespace corvina::chm {

class ChmScratchFile;

// The location lists of the search index's entries while pages are added, each list a series
// of pieces appended in order. The recent pieces are held in memory, chained per entry; once
// they pass `memory_limit` bytes they are written as one run, sorted in the index's word order,
// to an unnamed file in `scratch_folder`. Reading back merges the runs and the pieces still
// held. Without a scratch folder everything stays in memory.
class FullTextLists {
 public:
  // Tells whether entry `a` comes before entry `b` in the index.
  using Before = std::function<bool(uint32_t a, uint32_t b)>;

  FullTextLists(std::filesystem::path scratch_folder, size_t memory_limit);
  ~FullTextLists();
  FullTextLists(const FullTextLists&) = delete;
  FullTextLists& operator=(const FullTextLists&) = delete;

  // Appends a piece to the list of `entry` (any number; new ones may appear at any time).
  // Writes a run when the pieces held pass the limit; `before` orders it.
  void Append(uint32_t entry, std::span<const uint8_t> piece, const Before& before);

  // Reading back: called once per entry that has a list, in the order `before` gives, it hands
  // the entry's whole list to `out` in pieces; false when `out` refused one or a run could not
  // be read (status() says which).
  bool Read(uint32_t entry, const std::function<bool(std::span<const uint8_t>)>& out);

  // The first failure to write or read a run.
  const Status& status() const { return status_; }
  size_t runs() const { return runs_.size(); }

 private:
  // A run in the scratch file, read back through a small window: records of [entry: u32]
  // [length: u32][bytes] in the index's word order, each entry once.
  struct Run {
    uint64_t next;  // file offset of what is not in the window yet
    uint64_t end;
    std::vector<uint8_t> window;
    size_t at = 0;  // start of what is not consumed in `window`

    size_t available() const { return window.size() - at; }
  };
  void WriteRun(const Before& before);

  std::filesystem::path scratch_folder_;
  size_t memory_limit_;
  // Pieces held: [next piece of the same entry: u32][length: u32][bytes], chained per entry.
  std::vector<uint8_t> held_;
  std::vector<uint32_t> first_, last_;  // per entry: its first and last piece held
  std::vector<uint32_t> touched_;       // entries with pieces held
  std::unique_ptr<ChmScratchFile> file_;
  std::vector<Run> runs_;
  Status status_;
};

}  // namespace corvina::chm
