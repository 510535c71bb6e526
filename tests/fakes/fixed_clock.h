// A clock for tests: a fixed local time and a tick count that advances by a set step per read.
#pragma once

#include <atomic>

#include "platform/clock.h"

namespace zentab::fakes {

class FixedClock final : public platform::Clock {
 public:
  explicit FixedClock(platform::LocalDateTime now, std::uint32_t firstTick = 1000,
                      std::uint32_t step = 0);
  ~FixedClock() override;  // uninstalls itself
  platform::LocalDateTime Now() override { return now_; }
  std::uint32_t TickCount() override { return tick_.fetch_add(step_); }
  void SetTick(std::uint32_t tick) { tick_ = tick; }
  void SetStep(std::uint32_t step) { step_ = step; }

 private:
  platform::LocalDateTime now_;
  std::atomic<std::uint32_t> tick_;
  std::atomic<std::uint32_t> step_;
};

}  // namespace zentab::fakes
