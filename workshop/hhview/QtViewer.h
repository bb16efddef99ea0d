#pragma once

#include <signal.h>

#include <string>

namespace corvina::workshop {

class ChmArchive;

// Whether our own viewer can open a window here: a display, or a Qt platform named in
// QT_QPA_PLATFORM (offscreen, for one).
bool QtViewerCanRun();

// Shows the help file in our own viewer window until the user closes it or one of the
// signals (blocked by the caller) arrives. Returns the exit code.
int RunQtViewer(const ChmArchive& archive, const std::string& caption, const std::string& topic,
                const sigset_t& close_signals);

}  // namespace corvina::workshop
