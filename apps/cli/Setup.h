#pragma once

#include <optional>
#include <string>

namespace corvina::cli {

// Records the help compiler's folder as "InstallDir" of "Software\Microsoft\HTML Help
// Workshop", and the add-in's entry in the host's add-in key, in this user's registry store.
// Without a folder it takes the folder of this program, where the build and the install put
// our own hhc. Returns the exit status.
int RunSetup(const std::optional<std::string>& workshop);

// Before a compile: when no help compiler's folder is recorded and our own hhc sits beside
// this program, records that folder (as setup would) and says so on stderr.
void AdoptSiblingCompiler();

}  // namespace corvina::cli
