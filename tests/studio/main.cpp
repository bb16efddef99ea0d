#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Qt's platform plugin, fonts and D-Bus keep allocations until the process ends.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6\nleak:libfontconfig\nleak:libfreetype\nleak:libdbus\nleak:libglib\n";
}

// The widget tests draw offscreen unless told otherwise.
int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
