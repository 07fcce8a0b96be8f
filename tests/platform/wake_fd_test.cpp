// Idle waits end when something happens, not when a timer says so: a key on the terminal,
// the card's descriptor, or the card's next buffer falling due.
#include "platform/wake_fd.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/virtual/manual_clock.hpp"
#include "platform/virtual/virtual_card.hpp"
#include "platform/wave_buffers.hpp"
#include "platform/wave_device.hpp"

namespace velunda::test {
namespace {

using Clock = std::chrono::steady_clock;

// A wait meant to end at once is given a limit far beyond any scheduling delay; ending
// anywhere near it means the wake was missed.
constexpr uint32_t kLongMs = 20000;
constexpr auto kMissed = std::chrono::milliseconds(kLongMs / 4);

class Pipe {
 public:
  Pipe() { EXPECT_EQ(::pipe(fds_), 0); }
  ~Pipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int Read() const { return fds_[0]; }
  void Write() const { EXPECT_EQ(::write(fds_[1], "k", 1), 1); }

 private:
  int fds_[2] = {-1, -1};
};

// A card with a descriptor of its own, or a due time, and a count of its services.
class FakeCard final : public SoundCard {
 public:
  WaveIn& Input() override { std::abort(); }
  WaveOut& Output() override { std::abort(); }
  void WaitForActivity(uint32_t maxMs) override {
    ++services;
    lastMax = maxMs;
    wake.Clear();
  }
  int ActivityFd() const override { return hasFd ? wake.Fd() : -1; }
  uint32_t MsUntilService() const override { return dueMs; }

  WakeFd wake;
  bool hasFd = true;
  uint32_t dueMs = UINT32_MAX;
  int services = 0;
  uint32_t lastMax = 1;
};

struct WaitRow {
  std::string name;
  bool keyTyped;       // the other descriptor is readable
  bool cardNotified;   // the card's descriptor is readable
  bool cardHasFd;
  uint32_t dueMs;      // the card's own limit
  uint32_t maxMs;      // the caller's limit
  bool expectKey;
  bool expectQuick;    // ends long before maxMs
  friend void PrintTo(const WaitRow& r, std::ostream* os) { *os << r.name; }
};

struct IgnoringSink final : NoticeSink {
  void PostNotice(uint32_t, WaveHeader*) override {}
};

class WaitOnCardTest : public testing::TestWithParam<WaitRow> {};

TEST_P(WaitOnCardTest, EndsOnTheFirstThingThatHappens) {
  const WaitRow& r = GetParam();
  Pipe keys;
  FakeCard card;
  card.hasFd = r.cardHasFd;
  card.dueMs = r.dueMs;
  if (r.keyTyped) {
    keys.Write();
  }
  if (r.cardNotified) {
    card.wake.Notify();
  }
  const auto start = Clock::now();
  EXPECT_EQ(WaitOnCard(card, keys.Read(), r.maxMs), r.expectKey);
  const auto took = Clock::now() - start;
  if (r.expectQuick) {
    EXPECT_LT(took, kMissed);
  } else {
    EXPECT_GE(took, std::chrono::milliseconds(r.maxMs));
  }
  // Whatever ended the wait, the card is then serviced without waiting again.
  EXPECT_EQ(card.services, 1);
  EXPECT_EQ(card.lastMax, 0u);
  // Its descriptor is quiet again, so the next wait sleeps.
  EXPECT_EQ(WaitReadable(card.ActivityFd(), -1, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Wakes, WaitOnCardTest,
    testing::Values(WaitRow{"KeyTyped", true, false, true, UINT32_MAX, kLongMs, true, true},
                    WaitRow{"CardNotified", false, true, true, UINT32_MAX, kLongMs, false, true},
                    WaitRow{"CardDueWithoutDescriptor", false, false, false, 1, kLongMs, false,
                            true},
                    WaitRow{"CardDueNow", false, false, false, 0, kLongMs, false, true},
                    WaitRow{"NothingUntilTheLimit", false, false, true, UINT32_MAX, 30, false,
                            false}),
    [](const auto& info) { return info.param.name; });

TEST(WakeFd, AnotherThreadEndsTheSleep) {
  WakeFd wake;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    wake.Notify();
  });
  const auto start = Clock::now();
  EXPECT_EQ(WaitReadable(-1, wake.Fd(), static_cast<int>(kLongMs)), 2);
  EXPECT_LT(Clock::now() - start, kMissed);
  other.join();
}

// The virtual card only asks for a sleep when it keeps real time, and then no longer than
// until its head buffer is due.
TEST(VirtualCardWait, AsksToBeServedWhenItsHeadBufferIsDue) {
  ManualClock clock;
  for (const bool realTime : {false, true}) {
    VirtualCardConfig config;
    config.realTime = realTime;
    VirtualSoundCard card(clock, config);
    IgnoringSink sink;
    ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
    Buffer buffer(800);
    WaveHeader& h = buffer.header;
    ASSERT_EQ(card.Input().PrepareHeader(h), kWaveOk);
    ASSERT_EQ(card.Input().AddBuffer(h), kWaveOk);
    ASSERT_EQ(card.Input().Start(), kWaveOk);
    SCOPED_TRACE(realTime ? "real time" : "manual");
    EXPECT_EQ(card.MsUntilService(), realTime ? 100u : 0u);
    clock.Advance(40);
    card.WaitForActivity(0);
    EXPECT_EQ(card.MsUntilService(), realTime ? 60u : 0u);
    card.Input().Reset();
    card.Input().UnprepareHeader(h);
    card.Input().Close();
  }
}

}  // namespace
}  // namespace velunda::test
