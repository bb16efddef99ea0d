#pragma once

#include <QWidget>

namespace corvina {

class FormWindow;
class frmHHC;

// The compiler log window on screen: the tool's output as it arrives, the progress figure as
// a bar captioned "n %", and the "Close" button, disabled while the tool runs. The pointer is
// the hourglass meanwhile; the window keeps handling events, so it repaints and can be moved.
// The log follows its end unless the user has scrolled up.
FormWindow* MakeLogWindow(frmHHC& form, QWidget* owner);

}  // namespace corvina
