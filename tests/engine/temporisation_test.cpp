#include "engine/temporisation.hpp"

#include <gtest/gtest.h>

#include "platform/speaker.hpp"

namespace velunda::test {
namespace {

using Access = RecordingSpeakerPorts::Access;

TEST(Sound, ProgramsTheTimerDivisorThenOpensTheGate) {
  struct Row {
    int32_t hz;
    uint8_t low, high;
  };
  for (const Row& r : {Row{1000, 0xA9, 0x04}, Row{440, 0x97, 0x0A}, Row{20000, 0x3B, 0x00}}) {
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
    EXPECT_EQ(t.SavedSpeakerPort, 0x4C);
  }
}

TEST(NoSound, WritesBackTheSavedGateWithTheSpeakerBitCleared) {
  struct Row {
    uint8_t saved, written;
  };
  for (const Row& r : {Row{0x4C, 0x4C}, Row{0x4E, 0x4C}, Row{0x03, 0x01}}) {
    TemporisationState t;
    t.SavedSpeakerPort = r.saved;
    RecordingSpeakerPorts ports;
    NoSound(t, ports);
    EXPECT_EQ(ports.accesses, (std::vector<Access>{{true, 0x61, r.written}}));
  }
}

// Advances one millisecond every `every` readings.
class SlowTickClock final : public Clock {
 public:
  explicit SlowTickClock(uint32_t every) : every_(every) {}
  uint32_t NowMs() override { return 5000 + reads_++ / every_; }

 private:
  uint32_t every_;
  uint32_t reads_ = 0;
};

TEST(CalibrateDelay, CountsTheDelayLoopAgainstTheClock) {
  // A clock that moves at every reading: 279 rounds of 200 increments size the test (the
  // 280th reading ends it), and the timed loop of N + 1 turns lasts one tick.
  TemporisationState t;
  SlowTickClock clock(1);
  CalibrateDelay(t, clock);
  const int32_t n = 279 * 200;
  EXPECT_EQ(t.LoopsPerMillisecond, (n + 1) + (n + 1) / 30);
}

TEST(CalibrateDelay, AStoppedClockDoesNotDivideByZero) {
  TemporisationState t;
  SlowTickClock clock(1000);  // does not move between the two readings around the loop
  // The sizing loop ends because the clock does move, slowly.
  CalibrateDelay(t, clock);
  EXPECT_GT(t.LoopsPerMillisecond, 0);
}

TEST(Delay, RunsMsTimesTheRatePlusOneTurns) {
  TemporisationState t;
  t.LoopsPerMillisecond = 37;
  for (uint16_t ms : {0, 1, 300}) {
    Delay(t, ms);
    EXPECT_EQ(t.BusyCounter, ms * 37 + 1) << ms;
  }
  t.LoopsPerMillisecond = 2000000;  // 65535 ms would overflow the 32-bit limit
  EXPECT_EQ(DelayLimit(t, 65535), INT32_MAX - 1);
}

TEST(ErrorBeep, SoundsAThousandHertzThenStops) {
  TemporisationState t;
  RecordingSpeakerPorts ports;
  ErrorBeep(t, ports);
  ASSERT_EQ(ports.accesses.size(), 6u);
  EXPECT_EQ(ports.accesses[1], (Access{true, 0x42, 0xA9}));
  EXPECT_EQ(ports.accesses[4], (Access{true, 0x61, 0x03}));
  EXPECT_EQ(ports.accesses[5], (Access{true, 0x61, 0x00}));
}

// The emulated timer turns the port sequence into tone divisors.
class ToneLog final : public ToneOutput {
 public:
  explicit ToneLog(std::vector<uint16_t>& log) : log_(log) {}
  void SetDivisor(uint16_t divisor) override { log_.push_back(divisor); }

 private:
  std::vector<uint16_t>& log_;
};

TEST(EmulatedSpeakerPorts, SoundsTheDivisorWhileTheGateIsOpen) {
  std::vector<uint16_t> log;
  EmulatedSpeakerPorts ports(std::make_unique<ToneLog>(log));
  TemporisationState t;
  Sound(t, ports, 1000);
  NoSound(t, ports);
  Sound(t, ports, 440);
  // A new divisor while sounding takes effect at once.
  ports.Out(0x43, 0xB6);
  ports.Out(0x42, 0xA9);
  ports.Out(0x42, 0x04);
  NoSound(t, ports);
  EXPECT_EQ(log, (std::vector<uint16_t>{1193, 0, 2711, 1193, 0}));
}

}  // namespace
}  // namespace velunda::test
