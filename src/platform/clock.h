// The local clock, FormatNow and the millisecond tick count, all replaceable in tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zentab::platform {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;  // 0..23
  int minute = 0;
  int second = 0;
};

// Where the program gets the time from. The system clock is used unless a test installs its
// own with SetClock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() = 0;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual std::uint32_t TickCount() = 0;
};

// Installs clock for every later call of FormatNow and TickCount (nullptr restores the system
// clock). The clock must outlive its installation.
void SetClock(Clock* clock);

std::uint32_t TickCount();

// Formats the current local time: "yyyy" year, "mm" month, "dd" day, "hh" hour (24-hour),
// "nn" minute, "ss" second, each with leading zeros; "/" and ":" are the date and time
// separators ("/" and ":"); every other character is copied.
std::string FormatNow(std::string_view format);

// The same formatting over a given time.
std::string FormatDateTime(std::string_view format, const LocalDateTime& when);

}  // namespace zentab::platform
