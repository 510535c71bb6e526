// Two documentation jobs at the same time, each on its own thread with its own reader, give
// the same reports as the same jobs one after the other.
#include <gtest/gtest.h>

#include "engine/mdbengine.h"
#include "job/mdbseek.h"
#include "mkmdb/mkmdb.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

std::vector<std::string> MakeDatabases(const testing::TempDir& dir, const std::string& prefix) {
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) {
    std::string n = std::to_string(i);
    std::string path = dir.File(prefix + n + ".mdb");
    mkmdb::WriteMdbFromJson(std::string(R"({"format":")") + (i % 2 ? "jet3" : "jet4") +
                                R"(","tables":[)" + R"({"name":")" + prefix + "T" + n +
                                R"(","rows":)" + n +
                                R"(,"fields":[{"name":"ID","type":"long","required":true},)"
                                R"({"name":"Text)" +
                                n + R"(","type":"text","size":)" + std::to_string(10 + i) +
                                R"(}]},{"name":"L","link":{"database":"C:\\)" + prefix +
                                R"(0.mdb","foreignName":")" + prefix + R"(T0"}}]})",
                            path);
    paths.push_back(path);
  }
  return paths;
}

JobOutcome RunJob(const std::vector<std::string>& files, const std::string& report) {
  TMdbSeek job(files, nullptr, ReportTarget{"", report});
  job.Start();
  return job.Wait();
}

TEST(ConcurrentJobs, GiveTheSameReportsAsJobsOneAfterTheOther) {
  RegisterMdbEngine({20, ""});
  testing::TempDir dir;
  auto first = MakeDatabases(dir, "a");
  auto second = MakeDatabases(dir, "b");

  ASSERT_TRUE(RunJob(first, dir.File("a-seq.html")).succeeded);
  ASSERT_TRUE(RunJob(second, dir.File("b-seq.html")).succeeded);

  JobOutcome a, b;
  std::thread ta([&] { a = RunJob(first, dir.File("a-par.html")); });
  std::thread tb([&] { b = RunJob(second, dir.File("b-par.html")); });
  ta.join();
  tb.join();
  ASSERT_TRUE(a.succeeded) << a.error;
  ASSERT_TRUE(b.succeeded) << b.error;

  std::string aSeq = testing::ReadBytes(dir.File("a-seq.html"));
  std::string bSeq = testing::ReadBytes(dir.File("b-seq.html"));
  EXPECT_EQ(testing::ReadBytes(dir.File("a-par.html")), aSeq);
  EXPECT_EQ(testing::ReadBytes(dir.File("b-par.html")), bSeq);
  EXPECT_NE(aSeq, bSeq);
  EXPECT_NE(aSeq.find("aT3"), std::string::npos);
  EXPECT_NE(bSeq.find("bT3"), std::string::npos);
}

}  // namespace
}  // namespace zentab::engine
