// The fixed test clock installs itself for its lifetime.
#include "fakes/fixed_clock.h"

namespace zentab::fakes {

FixedClock::FixedClock(platform::LocalDateTime now, std::uint32_t firstTick, std::uint32_t step)
    : now_(now), tick_(firstTick), step_(step) {
  platform::SetClock(this);
}

FixedClock::~FixedClock() {
  platform::SetClock(nullptr);
}

}  // namespace zentab::fakes
