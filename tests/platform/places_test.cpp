// The per-user folders: settings and documents as a desktop session names them, and the choice
// between them and the executable's folder.
#include "platform/places.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "fakes/scoped_env.h"
#include "fakes/temp_dir.h"
#include "platform/paths.h"

namespace zentab::platform {
namespace {

using Env = fakes::ScopedEnv;

struct DocumentsCase {
  const char* name;
  const char* userDirs;     // contents of user-dirs.dirs; nullptr: no file
  const char* environment;  // XDG_DOCUMENTS_DIR; nullptr: unset
  const char* expected;     // below the home folder "/h"
};

class Documents : public ::testing::TestWithParam<DocumentsCase> {};

TEST_P(Documents, FollowUserDirsThenTheEnvironmentThenTheDefault) {
  fakes::TempDir dir;
  Env home("HOME", "/h");
  Env config("XDG_CONFIG_HOME", dir.Path().c_str());
  Env documents("XDG_DOCUMENTS_DIR", GetParam().environment);
  if (GetParam().userDirs) dir.Write("user-dirs.dirs", GetParam().userDirs);
  EXPECT_EQ(DocumentsDirectory(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Places, Documents,
    ::testing::Values(
        DocumentsCase{"Nothing", nullptr, nullptr, "/h/Documents/"},
        DocumentsCase{"HomeRelative",
                      "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                      "XDG_DOCUMENTS_DIR=\"$HOME/ドキュメント\"\n",
                      "/env", "/h/ドキュメント/"},
        DocumentsCase{"Absolute", "  XDG_DOCUMENTS_DIR=\"/srv/docs\"\n", nullptr, "/srv/docs/"},
        DocumentsCase{"LastWins", "XDG_DOCUMENTS_DIR=\"/a\"\nXDG_DOCUMENTS_DIR=\"/b/\"\n", nullptr,
                      "/b/"},
        DocumentsCase{"RelativeIgnored", "XDG_DOCUMENTS_DIR=\"docs\"\n", nullptr, "/h/Documents/"},
        DocumentsCase{"HomeLookAlikeIgnored", "XDG_DOCUMENTS_DIR=\"$HOMEX/d\"\n", nullptr,
                      "/h/Documents/"},
        DocumentsCase{"UnclosedQuoteIgnored", "XDG_DOCUMENTS_DIR=\"/x\n", "$HOME/E", "/h/E/"},
        DocumentsCase{"CommentedOut", "# XDG_DOCUMENTS_DIR=\"/x\"\n", "/env/", "/env/"},
        DocumentsCase{"EnvironmentRelativeIgnored", nullptr, "docs", "/h/Documents/"}),
    [](const ::testing::TestParamInfo<DocumentsCase>& info) { return info.param.name; });

TEST(ConfigHome, AnAbsoluteXdgConfigHomeElseDotConfig) {
  Env home("HOME", "/h");
  struct Case {
    const char* value;
    const char* expected;
  } cases[] = {{"/c", "/c/"},
               {"/c/", "/c/"},
               {"rel", "/h/.config/"},
               {"", "/h/.config/"},
               {nullptr, "/h/.config/"}};
  for (const Case& c : cases) {
    Env config("XDG_CONFIG_HOME", c.value);
    EXPECT_EQ(ConfigHome(), c.expected) << (c.value ? c.value : "(unset)");
  }
}

// A portable copy keeps everything beside itself; an executable in a folder the user cannot
// write sends settings and reports to the user's folders, which are made when missing.
TEST(UserPlaces, BesideAWritableExecutableElseInTheUserFolders) {
  fakes::TempDir dir;
  Env home("HOME", dir.File("home").c_str());
  Env config("XDG_CONFIG_HOME", nullptr);
  Env documents("XDG_DOCUMENTS_DIR", nullptr);

  SetExecutablePath(dir.File("zentab"));
  EXPECT_EQ(UserSettingsFile(), dir.File("zentab.ini"));
  EXPECT_EQ(UserReportDirectory(), dir.Path());
  EXPECT_FALSE(std::filesystem::exists(dir.File("home")));

  SetExecutablePath(dir.File("missing/zentab"));
  EXPECT_EQ(UserSettingsFile(), dir.File("home/.config/zentab/zentab.ini"));
  EXPECT_EQ(UserReportDirectory(), dir.File("home/Documents/Zentab/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("home/.config/zentab")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("home/Documents/Zentab")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  SetExecutablePath("");
}

TEST(UserPlaces, WritableMeansAnExistingFolderTheUserMayWrite) {
  fakes::TempDir dir;
  EXPECT_TRUE(IsWritableDirectory(dir.Path()));
  EXPECT_FALSE(IsWritableDirectory(dir.File("missing")));
  EXPECT_FALSE(IsWritableDirectory(dir.Write("file", "x")));
}

}  // namespace
}  // namespace zentab::platform
