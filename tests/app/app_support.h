// Shared ground for the window tests: a temporary folder that stands in for the executable's
// folder (settings file and reports land there), files to take in, and waiting on events.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>

#include "fakes/temp_dir.h"
#include "platform/paths.h"

namespace zentab::app::testing {

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() { platform::SetExecutablePath(dir.File("zentab")); }
  ~WindowTest() override { platform::SetExecutablePath(""); }

  std::string SettingsFile() const { return dir.File("zentab.ini"); }

  void WriteSettings(const std::string& text) const {
    std::ofstream(SettingsFile(), std::ios::binary) << text;
  }

  // Creates an empty file in the folder and returns its path.
  std::string Touch(const std::string& name) const {
    std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary).put('\0');
    return path;
  }

  fakes::TempDir dir;
};

// Handles events until done() holds or the time is up; returns done().
inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace zentab::app::testing
