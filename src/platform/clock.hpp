#pragma once
#include <cstdint>

namespace velunda {

// Millisecond clock, as used by the calibrations and the rate measurement.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t NowMs() = 0;
};

// The machine's monotonic clock.
class SteadyClock final : public Clock {
 public:
  uint32_t NowMs() override;
};

}  // namespace velunda
