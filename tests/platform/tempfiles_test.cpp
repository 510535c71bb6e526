// The list of temporary files a signal handler removes, and whole-file writes.
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

namespace zentab::platform {
namespace {

// A whole-file write: the bytes land exactly, a new file's mode is the umask's, a replaced
// file keeps its own, and a failure names the path and leaves nothing beside it.
TEST(WholeFile, LandsWhollyWithTheModeAFileShouldHave) {
  struct Case {
    const char* label;
    int existingMode;  // -1: no file there before
    mode_t umask;
    int expectedMode;
  } cases[] = {
      {"new file, umask 022", -1, 022, 0644},
      {"new file, umask 077", -1, 077, 0600},
      {"replaced file keeps 0640", 0640, 022, 0640},
  };
  for (const Case& c : cases) {
    fakes::TempDir dir;
    std::string path = dir.File("out.json");
    if (c.existingMode >= 0) {
      dir.Write("out.json", "old contents that are longer than the new ones");
      ::chmod(path.c_str(), static_cast<mode_t>(c.existingMode));
    }
    mode_t old = ::umask(c.umask);
    WriteFileWhole(path, std::string("{\"a\":\0}", 7));
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << c.label;
    EXPECT_EQ(static_cast<int>(st.st_mode & 07777), c.expectedMode) << c.label;
    EXPECT_EQ(fakes::ReadBytes(path), std::string("{\"a\":\0}", 7)) << c.label;
    EXPECT_EQ(dir.Files(), std::vector<std::string>{"out.json"}) << c.label;
  }
}

TEST(WholeFile, AFailureNamesThePathAndLeavesNothing) {
  fakes::TempDir dir;
  dir.Write("file", "x");
  for (const std::string& path : {dir.File("missing/out.json"), dir.File("file/out.json")}) {
    try {
      WriteFileWhole(path, "{}");
      ADD_FAILURE() << path << " was written";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
    }
  }
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"file"});
}

}  // namespace
}  // namespace zentab::platform
