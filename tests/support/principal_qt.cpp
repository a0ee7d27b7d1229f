// Window tests' main: offscreen (discovery runs at build time); closing a window never quits.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
#ifndef _WIN32
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#else
  // On Windows (and under Wine) the windows are shown by the system's own
  // platform, the only one Qt for Windows is built with here.
#endif
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
