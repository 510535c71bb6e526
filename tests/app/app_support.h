// Shared ground for the window tests: a temporary folder that stands in for the executable's
// folder (settings file and reports land there), a home and settings folder of the user inside
// it, files to take in, and waiting on events.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "fakes/scoped_env.h"
#include "fakes/temp_dir.h"
#include "platform/paths.h"

namespace zentab::app::testing {

using ScopedEnv = fakes::ScopedEnv;

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() { platform::SetExecutablePath(dir.File("zentab")); }
  ~WindowTest() override { platform::SetExecutablePath(""); }

  // The user's home and settings folder, inside the temporary folder; nothing there yet.
  std::string Home() const { return dir.File("home/"); }
  std::string ConfigHome() const { return dir.File("config/"); }

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
  ScopedEnv home_{"HOME", dir.File("home").c_str()};
  ScopedEnv config_{"XDG_CONFIG_HOME", dir.File("config").c_str()};
  ScopedEnv documents_{"XDG_DOCUMENTS_DIR", nullptr};
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
