#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workshop/chm/ChmSystemFiles.h"
#include "workshop/chm/PageTitle.h"

namespace corvina::chm {
namespace {

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

std::string TextAt(const std::vector<uint8_t>& bytes, size_t at) {
  return std::string(reinterpret_cast<const char*>(bytes.data()) + at);
}

TEST(PageTitleTest, ReadsTitlesOfManyKindsOfPages) {
  const std::pair<std::string, std::string> cases[] = {
      {"<html><head><title>Welcome \r\n  Page </title></head><body></body></html>", "Welcome Page"},
      {"<HTML><HEAD><TITLE>Upper Case</TITLE></HEAD><BODY></BODY></HTML>", "Upper Case"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 "
       "Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n<html "
       "xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>From DocBook</title></head></html>",
       "From DocBook"},
      {"<title>Fish &amp; Chips</title>", "Fish & Chips"},
      {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
       "charset=windows-1252\"><title>Caf\xe9</title></head></html>",
       "Caf\xc3\xa9"},
      {"<html><head><title>Caf\xc3\xa9 UTF-8</title></head></html>", "Caf\xc3\xa9 UTF-8"},
      {"<html><head></head><body>No title</body></html>", ""},
      {"<html><head><title></title></head></html>", ""},
      {"", ""},
      {"<p>broken <title>Late</title> <b>markup", "Late"},
  };
  for (const auto& [html, title] : cases) {
    SCOPED_TRACE(html);
    EXPECT_EQ(ReadPageTitle(html), title);
  }
}

TEST(ChmSystemFileTest, RecordsComeInOrderWithTheProjectsValues) {
  ChmSystemInfo info;
  info.contents_file = "toc.hhc";
  info.index_file = "index.hhk";
  info.default_topic = "index.htm";
  info.title = "Demo Help";
  info.default_window = "default";
  info.base_name = "demo";
  info.lcid = 0x407;
  const std::vector<uint8_t> idxhdr = BuildIdxHdr(5);
  EXPECT_EQ(TextAt(idxhdr, 0).substr(0, 4), "T#SM");
  EXPECT_EQ(U32(idxhdr, 0x0C), 5u);
  const std::vector<uint8_t> bytes = BuildSystemFile(info, idxhdr);
  EXPECT_EQ(U32(bytes, 0), 3u);
  std::vector<std::pair<int, std::string>> records;
  for (size_t at = 4; at + 4 <= bytes.size();) {
    const int code = bytes[at] | bytes[at + 1] << 8;
    const size_t length = bytes[at + 2] | bytes[at + 3] << 8;
    ASSERT_LE(at + 4 + length, bytes.size());
    records.emplace_back(code,
                         std::string(bytes.begin() + at + 4, bytes.begin() + at + 4 + length));
    at += 4 + length;
  }
  const std::string z(1, '\0');
  std::string flags = std::string("\x07\x04", 2) + std::string(34, '\0');
  const std::vector<std::pair<int, std::string>> expected = {
      {10, std::string(4, '\0')},
      {9, "HHA Version 4.74.8702" + z},
      {4, flags},
      {12, std::string(4, '\0')},
      {15, std::string(4, '\0')},
      {2, "index.htm" + z},
      {3, "Demo Help" + z},
      {0, "toc.hhc" + z},
      {1, "index.hhk" + z},
      {5, "default" + z},
      {6, "demo" + z},
      {13, std::string(idxhdr.begin(), idxhdr.end())},
  };
  EXPECT_EQ(records, expected);
}

}  // namespace
}  // namespace corvina::chm
