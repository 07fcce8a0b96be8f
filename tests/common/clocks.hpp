#pragma once
// Clocks for the calibrations: each reading advances by the next scripted step, from 16 ms
// before the 32-bit wrap so that the timings cross it; or one millisecond every `every` reads.
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/clock.hpp"

namespace velunda::common {

class StepClock final : public Clock {
 public:
  explicit StepClock(std::vector<uint32_t> steps) : steps_(std::move(steps)) {}
  // Reading past the script counts, and leaves the time where it is.
  uint32_t NowMs() override { return reads_++ < steps_.size() ? now_ += steps_[reads_ - 1] : now_; }
  size_t reads() const { return reads_; }

 private:
  std::vector<uint32_t> steps_;
  size_t reads_ = 0;
  uint32_t now_ = 0xFFFFFFF0u;
};

class TickClock final : public Clock {
 public:
  explicit TickClock(uint32_t every) : every_(every) {}
  uint32_t NowMs() override { return 5000 + reads_++ / every_; }

 private:
  uint32_t every_;
  uint32_t reads_ = 0;
};

}  // namespace velunda::common
