// FormatNow's tokens and the replaceable clock.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include "fakes/fixed_clock.h"

namespace zentab::platform {
namespace {

TEST(FormatDateTime, PadsEveryFieldAndCopiesOtherCharacters) {
  LocalDateTime t{2004, 3, 5, 4, 7, 9};
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:nn:ss", t), "2004/03/05 04:07:09");
  EXPECT_EQ(FormatDateTime("yyyymmddhhnnss", t), "20040305040709");
  EXPECT_EQ(FormatDateTime("[yyyy]x", t), "[2004]x");
}

TEST(FormatNow, UsesTheInstalledClock) {
  {
    fakes::FixedClock clock({2004, 3, 15, 14, 7, 9});
    EXPECT_EQ(FormatNow("yyyy/mm/dd hh:nn:ss"), "2004/03/15 14:07:09");
    EXPECT_EQ(FormatNow("yyyymmddhhnnss"), "20040315140709");
  }
  EXPECT_NE(FormatNow("yyyy"), "2004");  // the system clock is back
}

TEST(TickCount, WrapsAtTwoToTheThirtyTwo) {
  fakes::FixedClock clock({2004, 1, 1, 0, 0, 0}, 0xFFFFFFF0u, 0x20);
  std::uint32_t start = TickCount();
  std::uint32_t end = TickCount();
  EXPECT_LT(end, start);
  EXPECT_EQ(end - start, 0x20u);
}

}  // namespace
}  // namespace zentab::platform
