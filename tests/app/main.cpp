// The test program: one application object for every test, on the offscreen platform unless
// the environment names another.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  zentab::app::TApplication app(argc, argv);
  // Windows closed by a test must not end anything.
  app.setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
