#pragma once

#include <string>
#include <string_view>

namespace corvina::mTempFile {

// Creates a new, empty file in the folder named from the first three letters of the prefix,
// a hexadecimal number and ".tmp" (Cor1A2B.tmp), and returns its full path; empty text when
// no file could be created. A name is never reused: neither it nor the same name with ".htm"
// added exists when it is chosen. With a role ("contents", "index"...) the first number tried
// is derived from the folder and the role, so that a site gets the same names, and its help
// file the same bytes, every time; without one it is random.
std::string TempFile(std::string_view sFolder, std::string_view sPrefix,
                     std::string_view sRole = {});
// The part of the path after its last separator; the path itself when it has none.
std::string GetOnlyFileName(std::string_view sPath);
// The absolute path of an existing file or folder, as one command-line token: quoted by the
// Windows splitting rules when it holds a blank, a tab or a double quote. Empty text when the
// path does not exist.
std::string GetShortName(std::string_view sPath);

}  // namespace corvina::mTempFile
