// The GUI tests' main: one QApplication for all tests, offscreen unless a platform is chosen.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "gui/main_window.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || *platform == '\0') setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  gui::ApplyApplicationFont();
  return RUN_ALL_TESTS();
}
