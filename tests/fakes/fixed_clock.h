// A clock for tests: a local time that moves only when the test sets it, and a tick count that
// advances by a set step per read.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/clock.h"

namespace zentab::fakes {

class FixedClock final : public platform::Clock {
 public:
  explicit FixedClock(platform::LocalDateTime now, std::uint32_t firstTick = 1000,
                      std::uint32_t step = 0);
  ~FixedClock() override;  // uninstalls itself
  platform::LocalDateTime Now() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  std::uint32_t TickCount() override { return tick_.fetch_add(step_); }
  void SetTick(std::uint32_t tick) { tick_ = tick; }
  void SetStep(std::uint32_t step) { step_ = step; }
  void SetNow(const platform::LocalDateTime& now) {
    std::lock_guard lock(mutex_);
    now_ = now;
  }

 private:
  std::mutex mutex_;
  platform::LocalDateTime now_;
  std::atomic<std::uint32_t> tick_;
  std::atomic<std::uint32_t> step_;
};

}  // namespace zentab::fakes
