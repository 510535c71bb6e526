// Path parts over "/" paths whose names may hold "\" and ":".
#include "platform/paths.h"

#include <gtest/gtest.h>

namespace zentab::platform {
namespace {

TEST(PathParts, SplitAtTheLastSlashOnly) {
  EXPECT_EQ(FileNameOf("/data/db/sales.mdb"), "sales.mdb");
  EXPECT_EQ(FileNameOf("sales.mdb"), "sales.mdb");
  EXPECT_EQ(FileNameOf("/data/a\\b:c.mdb"), "a\\b:c.mdb");
  EXPECT_EQ(FileNameOf("/data/表.mdb"), "表.mdb");
  EXPECT_EQ(FileNameOf("/data/"), "");
  EXPECT_EQ(DirectoryOf("/data/db/sales.mdb"), "/data/db/");
  EXPECT_EQ(DirectoryOf("sales.mdb"), "");
}

TEST(PathParts, ExtensionComesFromTheFileNameOnly) {
  EXPECT_EQ(ExtensionOf("/d/data.mdb"), ".mdb");
  EXPECT_EQ(ExtensionOf("/d/data.mdb.bak"), ".bak");
  EXPECT_EQ(ExtensionOf("/d.x/data"), "");
  EXPECT_EQ(ExtensionOf("/d/.hidden"), ".hidden");
  EXPECT_EQ(ExtensionOf("noext"), "");
}

TEST(ExecutablePath, CanBeReplacedAndRestored) {
  std::string real = ExecutablePath();
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(ExecutableDirectory(), DirectoryOf(real));
  SetExecutablePath("/opt/zentab/bin/zentab");
  EXPECT_EQ(ExecutableDirectory(), "/opt/zentab/bin/");
  SetExecutablePath("");
  EXPECT_EQ(ExecutablePath(), real);
}

}  // namespace
}  // namespace zentab::platform
