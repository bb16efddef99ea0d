#pragma once

#include <filesystem>
#include <string_view>

#include "platform/Status.h"

namespace corvina {

// Replaces the file with the bytes in one step: a hidden temporary file beside it
// (".NAME.XXXXXX", mode 0644), written in full and flushed to disk, then renamed over it. On
// failure the old file stays as it was and the temporary file is gone.
Status ReplaceFile(const std::filesystem::path& target, std::string_view bytes);

}  // namespace corvina
