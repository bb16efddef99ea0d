#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace corvina::workshop {

// Exit codes of hh FILE, besides the viewer's own.
inline constexpr int kViewFailed = 2;  // bad arguments, or not a help file
inline constexpr int kNoViewer = 3;    // no viewer is installed

// What "hh FILE::/topic.htm" or "hh FILE topic.htm" asks for.
struct ViewRequest {
  std::string file;
  std::string topic;  // without a leading "/"; empty: the file's default topic
};
ViewRequest ParseViewArguments(std::string_view file_argument, std::string_view topic_argument);

// Opens the file in an installed viewer (xchm or kchmviewer, looked for on PATH) and waits
// until it ends. Meanwhile the file is held with a shared lock, so that it cannot be deleted,
// and a window of class "HH Parent" captioned with the help file's title is registered;
// SIGTERM (the window's closing) closes the viewer too. Problems go to err.
int View(std::string_view file_argument, std::string_view topic_argument, std::ostream& err);

}  // namespace corvina::workshop
