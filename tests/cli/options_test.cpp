// zentab-cli's command line: options, values, usage errors and where the report goes.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "fakes/temp_dir.h"
#include "platform/translate.h"

namespace zentab::cli {
namespace {

std::optional<Options> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto options = ParseOptions(args, e);
  if (error) *error = e;
  return options;
}

TEST(ParseOptions, TakesFilesInOrderAndBothOptionForms) {
  auto o = Parse({"a.mdb", "--output", "out/", "b.MDB", "--read-timeout=5", "c.txt"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->files, (std::vector<std::string>{"a.mdb", "b.MDB", "c.txt"}));
  EXPECT_EQ(o->output, "out/");
  EXPECT_EQ(o->readTimeoutSeconds, 5);
  EXPECT_FALSE(o->json);
  EXPECT_EQ(Parse({"--json", "d.json", "a.mdb"})->json, "d.json");
  EXPECT_EQ(Parse({"--json=d.json"})->json, "d.json");

  auto d = Parse({"--output=r.html", "--", "--help", "-"});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->output, "r.html");
  EXPECT_EQ(d->files, (std::vector<std::string>{"--help", "-"}));
  EXPECT_FALSE(d->help);
  EXPECT_EQ(d->readTimeoutSeconds, 60);
  EXPECT_FALSE(d->strict);
  EXPECT_TRUE(Parse({"--strict", "a.mdb"})->strict);
}

TEST(ParseOptions, RejectsBadUsageWithAReason) {
  std::string error;
  EXPECT_FALSE(Parse({"--bogus"}, &error));
  EXPECT_NE(error.find("--bogus"), std::string::npos);
  EXPECT_FALSE(Parse({"--output"}, &error));
  EXPECT_FALSE(Parse({"--output="}, &error));
  EXPECT_FALSE(Parse({"--json"}, &error));
  EXPECT_FALSE(Parse({"--json="}, &error));
  for (const char* bad : {"0", "-3", "abc", "5s", ""}) {
    EXPECT_FALSE(Parse({"--read-timeout", bad}, &error)) << bad;
  }
}

TEST(TargetFor, FolderOrFile) {
  fakes::TempDir dir;
  ReportTarget none = TargetFor(std::nullopt);
  EXPECT_EQ(none.directory, "./");
  ReportTarget existing = TargetFor(dir.Path().substr(0, dir.Path().size() - 1));
  EXPECT_FALSE(existing.directory.empty());
  EXPECT_TRUE(existing.file.empty());
  ReportTarget slash = TargetFor(std::string("not/yet/"));
  EXPECT_EQ(slash.directory, "not/yet/");
  ReportTarget file = TargetFor(dir.File("report.html"));
  EXPECT_EQ(file.file, dir.File("report.html"));
  EXPECT_TRUE(file.directory.empty());
}

// The warning lines name the database, then the table and field by name or position, in the
// user's language.
TEST(WarningLines, NameWhatCouldNotBeReadInEitherLanguage) {
  const std::vector<ReadFailure> failures = {
      {"/d/a.mdb", "", 0, "", 0, "the table list is damaged"},
      {"/d/a.mdb", "", 3, "", 0, "x"},
      {"/d/a.mdb", "顧客", 2, "", 4, "y"},
      {"/d/a.mdb", "T", 1, "F", 2, "z"},
      {"/d/b.mdb", "", 1, "", 0, "w"},
  };
  struct Case {
    const char* language;
    std::vector<std::string> expected;
  } cases[] = {
      {"C",
       {"warning: /d/a.mdb: the table list is damaged", "warning: /d/a.mdb: table #3: x",
        "warning: /d/a.mdb: table '顧客', field #4: y",
        "warning: /d/a.mdb: table 'T', field 'F': z",
        "warning: 1 more tables or fields could not be read"}},
      {"ja_JP.UTF-8",
       {"警告: /d/a.mdb: the table list is damaged", "警告: /d/a.mdb: テーブル #3: x",
        "警告: /d/a.mdb: テーブル '顧客'、フィールド #4: y",
        "警告: /d/a.mdb: テーブル 'T'、フィールド 'F': z",
        "警告: ほかに 1 個のテーブルまたはフィールドを読み込めませんでした"}},
  };
  for (const Case& c : cases) {
    std::optional<std::string> old;
    if (const char* v = std::getenv("LANGUAGE")) old = v;
    ::setenv("LANGUAGE", c.language, 1);
    platform::ResetTranslations();
    EXPECT_EQ(WarningLines(failures, 4), c.expected) << c.language;
    old ? ::setenv("LANGUAGE", old->c_str(), 1) : ::unsetenv("LANGUAGE");
    platform::ResetTranslations();
  }
}

}  // namespace
}  // namespace zentab::cli
