#pragma once
#include <cstdint>

#include "platform/clock.hpp"

namespace velunda {

// A clock that moves only when told to (deterministic tests).
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t startMs = 1000) : now_(startMs) {}
  uint32_t NowMs() override { return now_; }
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_;
};

}  // namespace velunda
