#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workshop/chm/ChmSystemFiles.h"
#include "workshop/chm/PageTitle.h"

namespace corvina::chm {
namespace {
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

}  // namespace
}  // namespace corvina::chm
