#include "engine/temporisation.hpp"

#include <gtest/gtest.h>

#include "common/clocks.hpp"
#include "platform/speaker.hpp"

namespace velunda::test {
namespace {

using Access = RecordingSpeakerPorts::Access;

TEST(Sound, ProgramsTheTimerDivisorThenOpensTheGate) {
  const struct {
    int32_t hz;
    uint8_t low, high;
  } rows[] = {{1000, 0xA9, 0x04}, {440, 0x97, 0x0A}, {20000, 0x3B, 0x00}};
  for (const auto& r : rows) {
    TemporisationState t;
    RecordingSpeakerPorts ports;
    ports.gate = 0x4C;
    Sound(t, ports, r.hz);
    const std::vector<Access> expected = {{true, 0x43, 0xB6},
                                          {true, 0x42, r.low},
                                          {true, 0x42, r.high},
                                          {false, 0x61, 0x4C},
                                          {true, 0x61, 0x4F}};
    EXPECT_EQ(ports.accesses, expected) << r.hz;
  }
}

// The emulated timer turns the port sequence into tone divisors.
struct ToneLog final : ToneOutput {
  explicit ToneLog(std::vector<uint16_t>& log) : log(log) {}
  void SetDivisor(uint16_t divisor) override { log.push_back(divisor); }
  std::vector<uint16_t>& log;
};

TEST(ErrorBeep, SoundsAThousandHertzForThreeHundredMsThenClosesOnlyTheSpeakerBit) {
  TemporisationState t;
  t.LoopsPerMillisecond = 3;
  RecordingSpeakerPorts ports;
  ports.gate = 0x4F;
  ErrorBeep(t, ports);
  ASSERT_EQ(ports.accesses.size(), 6u);
  EXPECT_EQ(ports.accesses[1], (Access{true, 0x42, 0xA9}));
  EXPECT_EQ(ports.accesses[5], (Access{true, 0x61, 0x4D}));
  EXPECT_EQ(t.BusyCounter, 300 * 3 + 1);
  // On the emulated speaker: the tone, then silence.
  std::vector<uint16_t> log;
  EmulatedSpeakerPorts emulated(std::make_unique<ToneLog>(log));
  ErrorBeep(t, emulated);
  EXPECT_EQ(log, (std::vector<uint16_t>{1193, 0}));
}

TEST(CalibrateDelay, SizesTheDelayLoopAgainstTheClock) {
  // A clock that moves at every reading: 279 rounds of 200 increments size the test (the
  // 280th reading ends it), and the timed loop of N + 1 turns lasts one tick.
  TemporisationState t;
  common::TickClock clock(1);
  CalibrateDelay(t, clock);
  EXPECT_EQ(t.LoopsPerMillisecond, (279 * 200 + 1) + (279 * 200 + 1) / 30);
  // A clock that does not move around the timed loop does not divide by zero.
  common::TickClock slow(1000);
  CalibrateDelay(t, slow);
  EXPECT_GT(t.LoopsPerMillisecond, 0);
  // A fast machine's 65535 ms stay below the loop counter's range.
  t.LoopsPerMillisecond = 2000000;
  EXPECT_EQ(DelayLimit(t, 65535), INT32_MAX - 1);
}

}  // namespace
}  // namespace velunda::test
