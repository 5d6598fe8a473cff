// Runs the Qt-side tests inside an application object, offscreen.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "platform/Application.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings of their own for every test process: never the user's, and never
  // another test's (ctest runs test processes side by side).
  QTemporaryDir settings;
  setenv("CORVELLE_SETTINGS_DIR", settings.path().toLocal8Bit().constData(), 1);
  TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
