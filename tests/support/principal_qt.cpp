// Main of the window test programs: a QApplication, offscreen unless a
// display is asked for (gtest_discover_tests runs them at build time, where
// there is none), and GoogleTest. Closing a window under test never ends
// the application.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
