// The private-profile layer: reading and writing single values while the rest of the file
// survives, and the settings integer rules.
#include "platform/profile.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fakes/temp_dir.h"

namespace zentab::platform {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ProfileTest : public ::testing::Test {
 protected:
  fakes::TempDir dir;
  std::string ini = dir.File("zentab.ini");
};

TEST_F(ProfileTest, FirstWritesCreateFileAndSectionInCallOrder) {
  TIniFile file(ini);
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Top", 124));
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Left", -61));
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Width", 361));
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Height", 306));
  EXPECT_TRUE(file.WriteBool("TMainForm", "EscapeClose", false));
  EXPECT_EQ(fakes::ReadBytes(ini),
            "[TMainForm]\nTop=124\nLeft=-61\nWidth=361\nHeight=306\nEscapeClose=0\n");
}

TEST_F(ProfileTest, RewritesOneLineAndKeepsEverythingElse) {
  WriteBytes(ini,
             "; kept\r\n[Other]\r\nTop=5\r\n\r\n[tmainform]\r\n  top = 1 \r\nx=y\r\n\r\n"
             "[Last]\r\nk=v\r\n");
  TIniFile file(ini);
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Top", 7));
  EXPECT_TRUE(file.WriteInteger("TMainForm", "Height", 9));
  EXPECT_TRUE(file.WriteString("New", "a", "b"));
  EXPECT_EQ(fakes::ReadBytes(ini),
            "; kept\r\n[Other]\r\nTop=5\r\n\r\n[tmainform]\r\nTop=7\r\nx=y\r\nHeight=9\r\n\r\n"
            "[Last]\r\nk=v\r\n[New]\r\na=b\r\n");
  EXPECT_EQ(file.ReadInteger("Other", "Top", 0), 5);
}

TEST_F(ProfileTest, ReadsTrimmedValuesIgnoringCaseAndQuotes) {
  WriteBytes(ini,
             "[A]\nKey = \"quoted value\" \nplain=  x y  \n;Top=3\nnoequals\n"
             "[B]\nKey=other\n[a]\nLate=1\n");
  EXPECT_EQ(ReadProfileString(ini, "a", "KEY"), "quoted value");
  EXPECT_EQ(ReadProfileString(ini, "A", "plain"), "x y");
  EXPECT_EQ(ReadProfileString(ini, "B", "key"), "other");
  EXPECT_EQ(ReadProfileString(ini, "A", "Top"), std::nullopt);
  EXPECT_EQ(ReadProfileString(ini, "A", "noequals"), std::nullopt);
  EXPECT_EQ(ReadProfileString(ini, "C", "Key"), std::nullopt);
  EXPECT_EQ(ReadProfileString(dir.File("missing.ini"), "A", "Key"), std::nullopt);
}

TEST_F(ProfileTest, TypedReadsFallBackToTheDefault) {
  WriteBytes(ini, "[TMainForm]\nTop=0x20\nLeft=-40\nWidth=abc\nHeight=\nEscapeClose=1\n");
  TIniFile file(ini);
  EXPECT_EQ(file.ReadInteger("TMainForm", "Top", 124), 32);
  EXPECT_EQ(file.ReadInteger("TMainForm", "Left", 61), -40);
  EXPECT_EQ(file.ReadInteger("TMainForm", "Width", 361), 361);
  EXPECT_EQ(file.ReadInteger("TMainForm", "Height", 306), 306);
  EXPECT_EQ(file.ReadInteger("TMainForm", "Missing", 7), 7);
  EXPECT_TRUE(file.ReadBool("TMainForm", "EscapeClose", false));
  EXPECT_FALSE(file.ReadBool("TMainForm", "Missing", false));
  EXPECT_TRUE(file.ReadBool("TMainForm", "Missing", true));
  EXPECT_TRUE(file.ReadBool("TMainForm", "Left", false));
}

// The folder may be read and entered but not written. Root writes anywhere, so the write is
// tried in a child process that has given up root for an ordinary account.
TEST_F(ProfileTest, WriteFailsQuietlyInAFolderWithoutWriteAccess) {
  namespace fs = std::filesystem;
  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  std::fflush(nullptr);
  pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(10);
    }
    TIniFile file(ini);
    if (file.WriteInteger("TMainForm", "Top", 1)) ::_exit(11);
    if (file.ReadInteger("TMainForm", "Top", 5) != 5) ::_exit(12);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "this root may not change its user id";
  EXPECT_NE(WEXITSTATUS(status), 11) << "the write reported success";
  EXPECT_NE(WEXITSTATUS(status), 12) << "the read did not fall back";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(dir.Files().empty());
}

TEST_F(ProfileTest, WriteFailsQuietlyWhenTheFolderIsMissing) {
  TIniFile file(dir.File("missing/zentab.ini"));
  EXPECT_FALSE(file.WriteInteger("TMainForm", "Top", 1));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST_F(ProfileTest, WriteFailsWhenThePathIsAFolder) {
  std::filesystem::create_directory(ini);
  TIniFile file(ini);
  EXPECT_FALSE(file.WriteInteger("TMainForm", "Top", 1));
}

TEST(ParseProfileInt, FollowsTheSettingsIntegerRules) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"124", 124},
      {"-61", -61},
      {"+5", 5},
      {"  12", 12},
      {"0x20", 32},
      {"0X1f", 31},
      {"0x", std::nullopt},  // two characters: read as decimal, which it is not
      {"0xg", std::nullopt},
      {"$20", 32},
      {"-$10", -16},
      {"0xFFFFFFFF", -1},
      {"0x100000000", std::nullopt},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"abc", std::nullopt},
      {"12abc", std::nullopt},
      {"12 ", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(SettingsPathFor, ReplacesOrAppendsTheExtension) {
  EXPECT_EQ(SettingsPathFor("/opt/zentab/bin/zentab"), "/opt/zentab/bin/zentab.ini");
  EXPECT_EQ(SettingsPathFor("/opt/z.app/zentab.exe"), "/opt/z.app/zentab.ini");
  EXPECT_EQ(SettingsPathFor("/opt/z.app/zentab"), "/opt/z.app/zentab.ini");
}

}  // namespace
}  // namespace zentab::platform
