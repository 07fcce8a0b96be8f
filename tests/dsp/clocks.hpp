#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/clock.hpp"

namespace velunda::test {

// Answers a fixed sequence of readings, then repeats the last one.
class ScriptedClock final : public Clock {
 public:
  explicit ScriptedClock(std::vector<uint32_t> readings) : readings_(std::move(readings)) {}
  uint32_t NowMs() override {
    const uint32_t v = readings_[next_ < readings_.size() ? next_ : readings_.size() - 1];
    ++next_;
    return v;
  }
  size_t reads() const { return next_; }

 private:
  std::vector<uint32_t> readings_;
  size_t next_ = 0;
};

}  // namespace velunda::test
