#pragma once

namespace corvina::Globals {

// Opens the product's own help file at its first page, owned by the main window (which it
// loads when needed), so it lives beside that window rather than with the other globals.
void ShowHelp();

}  // namespace corvina::Globals
