// System clock and tick source, and the date-time format used by progress lines and report names.
#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace zentab::platform {
namespace {

class SystemClock final : public Clock {
 public:
  LocalDateTime Now() override {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
  std::uint32_t TickCount() override {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
  }
};

SystemClock gSystemClock;
std::atomic<Clock*> gClock{&gSystemClock};

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

void SetClock(Clock* clock) {
  gClock.store(clock ? clock : &gSystemClock);
}

std::uint32_t TickCount() {
  return gClock.load()->TickCount();
}

std::string FormatNow(std::string_view format) {
  return FormatDateTime(format, gClock.load()->Now());
}

std::string FormatDateTime(std::string_view format, const LocalDateTime& when) {
  std::string out;
  std::size_t i = 0;
  auto at = [&](std::string_view token) { return format.substr(i, token.size()) == token; };
  while (i < format.size()) {
    if (at("yyyy")) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d", when.year);
      out += buf;
      i += 4;
    } else if (at("mm")) {
      out += TwoDigits(when.month), i += 2;
    } else if (at("dd")) {
      out += TwoDigits(when.day), i += 2;
    } else if (at("hh")) {
      out += TwoDigits(when.hour), i += 2;
    } else if (at("nn")) {
      out += TwoDigits(when.minute), i += 2;
    } else if (at("ss")) {
      out += TwoDigits(when.second), i += 2;
    } else {
      out += format[i++];
    }
  }
  return out;
}

}  // namespace zentab::platform
