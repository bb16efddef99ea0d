#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace corvina {

// One entry of a folder. The type is the entry's own: a symbolic link is a link, whatever it
// points at.
struct FolderEntry {
  enum class Type { kFile, kFolder, kLink, kOther };
  std::string name;
  Type type = Type::kOther;
};

struct FolderEntries {
  std::vector<FolderEntry> entries;  // in the order the file system gives them
  std::optional<Error> error;        // set when reading stopped before the end
};

// The entries of the folder at `path` except "." and "..", with one status call only for
// an entry whose type the listing does not give. Fails when the folder cannot be opened;
// an injected open fault (OpenFaults.h) counts as one.
Result<FolderEntries> ListFolderEntries(const std::filesystem::path& path);

}  // namespace corvina
