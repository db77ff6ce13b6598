#include <gtest/gtest.h>

#include <QApplication>

// Widget tests need one QApplication for the whole run; ctest sets QT_QPA_PLATFORM=offscreen.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
