#include "platform/virtual/virtual_card.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/files.hpp"
#include "platform/event_source.hpp"
#include "platform/virtual/manual_clock.hpp"
#include "platform/wave_buffers.hpp"

namespace velunda::test {
namespace {

struct Sink final : QueuedEventSource {
  void WaitBriefly(uint32_t) override {}
};

TEST(VirtualCard, OutputReadsABufferWhenItPlaysItAndTellsTheLoudspeaker) {
  ManualClock clock;
  VirtualCardConfig config;
  auto speaker = std::make_shared<MemorySpeaker>();
  config.speaker = speaker;
  VirtualSoundCard card(clock, config);
  Sink sink;
  // An open that plays nothing has no write to report.
  speaker->closeError = ENOSPC;
  ASSERT_EQ(card.Output().Open(U8Mono(11025), sink), kWaveOk);
  ASSERT_EQ(card.Output().Close(), kWaveOk);
  EXPECT_EQ(card.SpeakerWriteError(), 0);
  ASSERT_EQ(card.Output().Open(U8Mono(1000), sink), kWaveOk);
  Buffer a(10, 1), b(10, 2);
  for (Buffer* x : {&a, &b}) {
    ASSERT_EQ(card.Output().PrepareHeader(x->header), kWaveOk);
    ASSERT_EQ(card.Output().Write(x->header), kWaveOk);
  }
  clock.Advance(5);
  card.Service();
  b.memory.assign(10, 7);  // still queued: the card has not read it yet
  a.memory[7] = 9;         // being played: the rest of it is read later
  clock.Advance(15);
  card.Service();
  std::vector<uint8_t> expected = {1, 1, 1, 1, 1, 1, 1, 9, 1, 1, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(speaker->played, expected);
  DeviceNotice n;
  ASSERT_TRUE(sink.PollDeviceNotice(n));
  EXPECT_EQ(n.message, MM_WOM_DONE);
  EXPECT_EQ(n.header, &a.header);
  ASSERT_TRUE(sink.PollDeviceNotice(n));
  EXPECT_EQ(n.header, &b.header);
  EXPECT_EQ(a.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
  // Nothing queued: silence, then playback resumes with the next write.
  clock.Advance(50);
  card.Service();
  EXPECT_EQ(speaker->played.size(), 20u);
  ASSERT_EQ(card.Output().Write(a.header), kWaveOk);
  clock.Advance(4);
  card.Service();
  expected.insert(expected.end(), {1, 1, 1, 1});
  EXPECT_EQ(speaker->played, expected);
  // Closing (once reset) tells the loudspeaker, whose failure is the close's.
  EXPECT_EQ(card.Output().Close(), kWaveErrorStillPlaying);
  ASSERT_EQ(card.Output().Reset(), kWaveOk);
  ASSERT_EQ(card.Output().Close(), static_cast<uint32_t>(ENOSPC));
  EXPECT_EQ(card.SpeakerWriteError(), ENOSPC);
  ASSERT_EQ(speaker->openings.size(), 2u);
  EXPECT_EQ(speaker->openings[0].rate, 11025);
  EXPECT_TRUE(speaker->openings[0].samples.empty());
  EXPECT_EQ(speaker->openings[1].rate, 1000);
}

TEST(VirtualCard, InputLoopsItsRecordingAndLosesWhatNoBufferTakes) {
  ManualClock clock;
  VirtualCardConfig config;
  config.input = std::make_shared<MemoryLoop>(std::vector<uint8_t>{10, 11, 12, 13, 14});
  config.faults.trueCaptureRate[1000] = 2000;  // delivers twice the asked rate
  VirtualSoundCard card(clock, config);
  Sink sink;
  ASSERT_EQ(card.Input().Open(U8Mono(1000), sink), kWaveOk);
  Buffer a(4);
  ASSERT_EQ(card.Input().PrepareHeader(a.header), kWaveOk);
  ASSERT_EQ(card.Input().AddBuffer(a.header), kWaveOk);
  ASSERT_EQ(card.Input().Start(), kWaveOk);
  clock.Advance(1);
  card.Service();
  EXPECT_EQ(a.header.dwBytesRecorded, 2u);
  clock.Advance(4);  // 10 samples due: 4 taken, 6 lost
  card.Service();
  EXPECT_EQ(a.memory, (std::vector<uint8_t>{10, 11, 12, 13}));
  ASSERT_EQ(card.Input().AddBuffer(a.header), kWaveOk);
  clock.Advance(2);
  card.Service();
  EXPECT_EQ(a.memory, (std::vector<uint8_t>{10, 11, 12, 13}));  // samples 10..13 of the loop
  DeviceNotice n;
  std::vector<uint32_t> messages;
  while (sink.PollDeviceNotice(n)) {
    messages.push_back(n.message);
  }
  EXPECT_EQ(messages, (std::vector<uint32_t>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_DATA}));
}

TEST(VirtualCard, HeaderRulesGiveTheirCodes) {
  ManualClock clock;
  VirtualSoundCard card(clock, {});
  Sink sink;
  Buffer a(8);
  EXPECT_EQ(card.Input().PrepareHeader(a.header), kMmErrorInvalidHandle);
  ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
  EXPECT_EQ(card.Input().Open(U8Mono(8000), sink), kMmErrorAllocated);
  EXPECT_EQ(card.Input().AddBuffer(a.header), kWaveErrorUnprepared);
  ASSERT_EQ(card.Input().PrepareHeader(a.header), kWaveOk);
  ASSERT_EQ(card.Input().AddBuffer(a.header), kWaveOk);
  EXPECT_EQ(card.Input().UnprepareHeader(a.header), kWaveErrorStillPlaying);
  EXPECT_EQ(card.Input().Close(), kWaveErrorStillPlaying);
  ASSERT_EQ(card.Input().Reset(), kWaveOk);
  EXPECT_EQ(card.Input().UnprepareHeader(a.header), kWaveOk);
  EXPECT_EQ(card.Input().UnprepareHeader(a.header), kWaveOk);  // not prepared: nothing to do
  EXPECT_EQ(card.Input().Close(), kWaveOk);
  EXPECT_FALSE(card.InputOpen());
}

}  // namespace
}  // namespace velunda::test
