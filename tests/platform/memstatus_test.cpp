// Memory figures from /proc/meminfo text and the KB/MB display rule.
#include "platform/memstatus.h"

#include <gtest/gtest.h>

namespace zentab::platform {
namespace {

TEST(MemSizeText, ShowsKilobytesUpToOneMebibyteAndMegabytesAbove) {
  struct Case {
    std::uint64_t bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0.0KB"},
      {51, "0.0KB"},   // 0.0498
      {52, "0.1KB"},   // 0.0508
      {256, "0.3KB"},  // exactly 0.25: half away from zero
      {1280, "1.3KB"},
      {524288, "512.0KB"},
      {1048576, "1024.0KB"},
      {1048577, "1.0MB"},
      {1310720, "1.3MB"},  // exactly 1.25
      {536870912, "512.0MB"},
      {2147483648ull, "2048.0MB"},
      {17179869184ull, "16384.0MB"},
      {18446744073709551615ull, "17592186044416.0MB"},
  };
  for (const auto& c : cases) EXPECT_EQ(MemSizeText(c.bytes), c.text) << c.bytes;
}

TEST(ParseMemInfo, TakesTheFourFiguresInBytes) {
  MemoryStatus s = ParseMemInfo(
      "MemTotal:         524288 kB\n"
      "MemFree:           10240 kB\n"
      "MemAvailable:     204800 kB\n"
      "SwapCached:            0 kB\n"
      "SwapTotal:       1048576 kB\n"
      "SwapFree:         262144 kB\n");
  EXPECT_EQ(s.totalPhys, 536870912u);
  EXPECT_EQ(s.availPhys, 209715200u);
  EXPECT_EQ(s.totalPageFile, 1073741824u);
  EXPECT_EQ(s.availPageFile, 268435456u);
  EXPECT_EQ("RAM :" + MemSizeText(s.availPhys) + "(" + MemSizeText(s.totalPhys) + ")",
            "RAM :200.0MB(512.0MB)");
}

TEST(ParseMemInfo, FallsBackToMemFreeAndLeavesMissingFiguresZero) {
  MemoryStatus s = ParseMemInfo("MemTotal: 2048 kB\nMemFree: 1024 kB\nSwapTotalX: 5 kB\n");
  EXPECT_EQ(s.availPhys, 1048576u);
  EXPECT_EQ(s.totalPhys, 2097152u);
  EXPECT_EQ(s.totalPageFile, 0u);
  EXPECT_EQ(s.availPageFile, 0u);
}

TEST(QueryMemoryStatus, ReadsThisMachine) {
  MemoryStatus s = QueryMemoryStatus();
  EXPECT_GT(s.totalPhys, 0u);
  EXPECT_LE(s.availPhys, s.totalPhys);
  EXPECT_LE(s.availPageFile, s.totalPageFile);
}

}  // namespace
}  // namespace zentab::platform
