#include "audio_io/two_device_card.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "audio_io/resample.hpp"
#include "platform/event_source.hpp"
#include "platform/virtual/manual_clock.hpp"
#include "platform/virtual/virtual_card.hpp"
#include "platform/wave_buffers.hpp"

namespace velunda::test {
namespace {

struct Events final : QueuedEventSource {
  void WaitBriefly(uint32_t) override {}
};

// A line input of noise low-passed twice (smooth enough that a fraction of a sample's lag costs
// little correlation), long enough that a lag is found without ambiguity.
std::vector<uint8_t> Noise() {
  std::mt19937 random(7);
  std::normal_distribution<double> step(0.0, 2.0);
  std::vector<uint8_t> samples(100003);
  double x = 0.0;
  double y = 0.0;
  for (uint8_t& s : samples) {
    y = 0.9 * y + step(random);
    x = 0.9 * x + y;
    s = static_cast<uint8_t>(std::clamp(std::lrint(128.0 + x), 0L, 255L));
  }
  return samples;
}

struct DriftCase {
  const char* name;
  int32_t capturePpm;
  int32_t playbackPpm;
  int32_t block;
  uint32_t seconds;
  bool inRange;
};

class TwoClocks : public ::testing::TestWithParam<DriftCase> {};

// Two virtual cards on crystals `ppm` apart run as the session runs them: the filter (here the
// identity) writes each captured block into its output buffer, each returned buffer goes back.
TEST_P(TwoClocks, QueueStaysBoundedNothingLostAndTheLoudspeakerPlaysTheFilterOutput) {
  const DriftCase& c = GetParam();
  ManualClock clock;
  VirtualCardConfig capture;
  capture.input = std::make_shared<MemoryLoop>(Noise());
  capture.clockPpm = c.capturePpm;
  VirtualCardConfig playback;
  auto speaker = std::make_shared<MemorySpeaker>();
  playback.speaker = speaker;
  playback.clockPpm = c.playbackPpm;
  TwoDeviceCard card(std::make_unique<VirtualSoundCard>(clock, capture),
                     std::make_unique<VirtualSoundCard>(clock, playback));
  Events events;
  const auto n = static_cast<size_t>(c.block);
  Buffer in[2] = {Buffer(n), Buffer(n)};
  Buffer out[2] = {Buffer(n, 128), Buffer(n, 128)};
  ASSERT_EQ(card.Output().Open(U8Mono(8000), events), kWaveOk);
  ASSERT_EQ(card.Input().Open(U8Mono(8000), events), kWaveOk);
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(card.Input().PrepareHeader(in[k].header), kWaveOk);
    ASSERT_EQ(card.Input().AddBuffer(in[k].header), kWaveOk);
    ASSERT_EQ(card.Output().PrepareHeader(out[k].header), kWaveOk);
    ASSERT_EQ(card.Output().Write(out[k].header), kWaveOk);
  }
  ASSERT_EQ(card.Input().Start(), kWaveOk);
  std::vector<uint8_t> filtered(2 * n, 128);  // what the filter wrote, in play order
  // Clocks too far apart refuse the returned buffer: the session ends.
  uint32_t written = kWaveOk;
  double opening = 0.0;  // the largest correction of the first 20 s
  for (uint32_t ms = 0; ms < c.seconds * 1000 && written == kWaveOk; ms += 8) {
    clock.Advance(8);
    card.WaitForActivity(0);
    if (ms < 20000) {
      opening = std::max(opening, std::abs(card.Figures().ratio - 1.0));
    }
    DeviceNotice notice;
    while (written == kWaveOk && events.PollDeviceNotice(notice)) {
      const int k = notice.header == &in[0].header || notice.header == &out[0].header ? 0 : 1;
      if (notice.message == MM_WIM_DATA) {
        out[k].memory = in[k].memory;
        filtered.insert(filtered.end(), in[k].memory.begin(), in[k].memory.end());
        ASSERT_EQ(card.Input().AddBuffer(in[k].header), kWaveOk);
      } else if (notice.message == MM_WOM_DONE) {
        written = card.Output().Write(out[k].header);
      }
    }
  }
  const DriftFigures& f = card.Figures();
  EXPECT_EQ(card.OutOfRange(), !c.inRange);
  EXPECT_EQ(written, c.inRange ? kWaveOk : kClocksTooFarApart);
  if (!c.inRange) {
    return;
  }
  EXPECT_EQ(f.silence, 0u);
  EXPECT_EQ(f.dropped, 0u);
  // The queue starts at its aim, whatever the playback device took at first: the sound is not
  // stretched or squeezed while the control would get it there (0.33 % for some 11 s).
  EXPECT_LE(opening, 0.0005);
  // Every sample resampled into the queue reaches the loudspeaker, but for the opening silence
  // (two blocks at most) and what the queue and the playback buffers still hold.
  const auto unplayed =
      static_cast<int64_t>(f.pushed) - static_cast<int64_t>(speaker->played.size());
  EXPECT_GE(unplayed, 0);
  EXPECT_LE(unplayed, 2 * c.block + 256 + 320 + 256 + 2 * 256);
  // Just before a block the queue holds a playback buffer and 40 ms, give or take a buffer.
  EXPECT_GE(f.lowestFill, 256);
  EXPECT_LE(f.highestFill, 256 + 320 + 256);
  // The loudspeaker's last 30 s, brought back to the capture's clock, are the filter's output
  // delayed: in every second the best whole-sample lag correlates at 0.98 or more (a fraction
  // of a sample costs up to 0.01), and the lag moves no
  // more than the queue does.
  std::string error;
  auto back = Resampler::Create(1000000 + c.playbackPpm, 1000000 + c.capturePpm, error);
  ASSERT_NE(back, nullptr);
  const size_t tail = 30 * 8000;
  ASSERT_GT(speaker->played.size(), tail);
  std::vector<double> played, heard;
  for (size_t i = speaker->played.size() - tail; i < speaker->played.size(); ++i) {
    played.push_back((speaker->played[i] - 128) / 128.0);
  }
  ASSERT_TRUE(back->Process(played.data(), played.size(), heard, error));
  ASSERT_TRUE(back->Finish(heard, error));
  // Where the tail's start lies in the filter's output, were there no delay: the delay is
  // the session buffers not yet read, the queue and the playback buffers.
  const auto origin = static_cast<int64_t>(filtered.size()) - static_cast<int64_t>(heard.size());
  const auto correlation = [&](size_t at, int64_t lag) {
    double xy = 0.0, xx = 0.0, yy = 0.0;
    for (size_t i = at; i < at + 2000; ++i) {
      const double x = heard[i];
      const double y =
          (filtered[static_cast<size_t>(origin + lag + static_cast<int64_t>(i))] - 128) / 128.0;
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    return xy / std::sqrt(xx * yy);
  };
  std::vector<int64_t> lags;
  int64_t from = -3 * c.block - 1500, to = 0;  // searched wide once, then around the lag found
  for (size_t at = 8000; at + 8000 <= heard.size(); at += 8000) {
    double best = -1.0;
    int64_t bestLag = 0;
    for (int64_t lag = from; lag <= to; ++lag) {
      if (const double r = correlation(at, lag); r > best) {
        best = r;
        bestLag = lag;
      }
    }
    EXPECT_GE(best, 0.98) << "second " << at / 8000;
    lags.push_back(bestLag);
    from = bestLag - 600;
    to = bestLag + 600;
  }
  const auto [low, high] = std::minmax_element(lags.begin(), lags.end());
  EXPECT_LE(*high - *low, f.highestFill - f.lowestFill + 2);
}

INSTANTIATE_TEST_SUITE_P(
    DriftControl, TwoClocks,
    ::testing::Values(DriftCase{"PlaybackFastBy200ppmForAnHour", 0, 200, 2048, 3600, true},
                      DriftCase{"PlaybackSlowBy200ppmForAnHour", 0, -200, 2048, 3600, true},
                      DriftCase{"CaptureFastShortBlocks", 150, -50, 768, 600, true},
                      DriftCase{"ClocksTwoPercentApart", 0, 20000, 2048, 240, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velunda::test
