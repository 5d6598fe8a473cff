// Runs the Qt-side tests inside an application object, offscreen.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "platform/Application.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never the user's real settings, even when run by hand.
  QTemporaryDir settings;
  if (!std::getenv("CORVELLE_SETTINGS_DIR")) setenv("CORVELLE_SETTINGS_DIR", settings.path().toLocal8Bit().constData(), 1);
  TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
