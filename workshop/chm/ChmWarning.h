#pragma once

namespace corvina::chm {

// The kinds of problem that do not stop a compile; each has its own message number.
enum class ChmWarning {
  kLinkNotOnDisk,       // a stored file links to a local file that does not exist
  kAnchorUndefined,     // a link names an anchor that its page does not define
  kLinkOutsideProject,  // a link leads out of the project folder; its file is not stored
  kOther,
};

}  // namespace corvina::chm
