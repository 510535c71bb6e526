// zentab-cli's command line: options, values, usage errors and where the report goes.
#include "cli/options.h"

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"

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

}  // namespace
}  // namespace zentab::cli
