#pragma once

#include <filesystem>

#include "platform/Status.h"

namespace corvina::workshop {

// Mends the two header fields that chmcmd 3.2.2 writes wrongly, in place: the second ITSF GUID
// (written as a copy of the first, so libmspack refuses the file) and the ITSP "first listing
// chunk" (written as 1 in files with several chunks, so enumerating readers skip chunk 0).
// A field that is already right is left alone; a file that is not an ITSF archive is an error.
Status FixChmcmdHeader(const std::filesystem::path& chm);

}  // namespace corvina::workshop
