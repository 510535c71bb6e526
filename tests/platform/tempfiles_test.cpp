// The list of temporary files a signal handler removes.
#include "platform/tempfiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Started with standard output closed, the next file opened must not become standard output.
TEST(StandardStreams, AClosedOneIsReopenedOnDevNull) {
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(STDOUT_FILENO);
    OpenMissingStandardStreams();
    int next = ::open("/dev/null", O_RDONLY);
    struct stat out {};
    bool ok = next > 2 && ::fstat(STDOUT_FILENO, &out) == 0 && S_ISCHR(out.st_mode);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace zentab::platform
