#pragma once

#include <string>

namespace corvina::cli {

// Makes a decompiled folder a site: writes its outline file navigation.txt from the contents
// file that the help file names, so that compiling the folder gives the same contents tree.
// The pages keep their keywords as they are. An existing navigation.txt is replaced only with
// the user's consent. Returns the exit status: 0 converted; 1 converted with entries that lost
// their page or anchor, or not converted because the help file has no usable contents file;
// 2 the outline could not be written; 3 the user kept the existing navigation.txt.
int ConvertToSite(const std::string& chm_file, const std::string& folder);

}  // namespace corvina::cli
