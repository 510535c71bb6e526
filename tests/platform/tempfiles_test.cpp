// The list of temporary files a signal handler removes.
#include "platform/tempfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "fakes/temp_dir.h"

namespace zentab::platform {
namespace {

TEST(TemporaryFiles, OnlyNamesStillKeptAreRemoved) {
  fakes::TempDir dir;
  std::string kept = dir.Write("kept.tmp", "x");
  std::string released = dir.Write("released.tmp", "x");
  std::string other = dir.Write("report.html", "x");
  auto keep = std::make_unique<TemporaryName>(kept);
  { TemporaryName gone(released); }
  RemoveTemporaryFiles();
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"released.tmp", "report.html"}));
  keep.reset();
  dir.Write("kept.tmp", "x");
  RemoveTemporaryFiles();
  EXPECT_EQ(dir.Files().size(), 3u);
}

}  // namespace
}  // namespace zentab::platform
