// The ALSA back-end against alsa-lib's "null" PCM: it opens anywhere and never keeps real
// time, so it serves for opening, closing, result codes and the notice plumbing, not timing.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/files.hpp"
#include "dsp/dsp_state.hpp"
#include "engine/engine_platform.hpp"
#include "engine/engine_state.hpp"
#include "engine/tests_carte_son.hpp"
#include "platform/alsa/alsa_sound_card.hpp"
#include "platform/card_event_source.hpp"
#include "platform/clock.hpp"
#include "platform/event_source.hpp"
#include "platform/memory.hpp"
#include "platform/program_name.hpp"
#include "platform/sound_devices.hpp"
#include "platform/speaker.hpp"
#include "platform/wave_buffers.hpp"

namespace velunda {
namespace {

struct Recorded {
  uint32_t message;
  WaveHeader* header;
  bool operator==(const Recorded&) const = default;
};

class RecordingSink final : public NoticeSink {
 public:
  void PostNotice(uint32_t message, WaveHeader* header) override {
    notices.push_back({message, header});
  }
  std::vector<Recorded> notices;
};

using test::Buffer;
using test::U8Mono;

// Services the card until `count` notices of `message` arrived (bounded, no clock involved).
size_t WaitFor(AlsaSoundCard& card, RecordingSink& sink, uint32_t message, size_t count) {
  auto seen = [&] {
    size_t n = 0;
    for (const Recorded& r : sink.notices) {
      n += r.message == message ? 1 : 0;
    }
    return n;
  };
  for (int i = 0; i < 500 && seen() < count; ++i) {
    card.WaitForActivity(10);
  }
  return seen();
}

TEST(AlsaDevice, NullDeviceIsOneCardWithTheMinimumFormat) {
  AlsaSoundCard card("null");
  EXPECT_EQ(card.Input().DeviceCount(), 1);
  EXPECT_EQ(card.Output().DeviceCount(), 1);
  uint32_t in = 0;
  uint32_t out = 0;
  EXPECT_EQ(card.Input().GetCapabilities(in), kWaveOk);
  EXPECT_EQ(card.Output().GetCapabilities(out), kWaveOk);
  EXPECT_EQ(in & WAVE_FORMAT_1M08, WAVE_FORMAT_1M08);
  EXPECT_EQ(out & WAVE_FORMAT_1M08, WAVE_FORMAT_1M08);
}

TEST(AlsaDevice, UnknownDeviceHasNoCardAndRefusesWithItsErrno) {
  AlsaSoundCard card("velunda_no_such_pcm");
  EXPECT_EQ(card.Input().DeviceCount(), 0);
  EXPECT_EQ(card.Output().DeviceCount(), 0);
  uint32_t formats = 0xABCD;
  EXPECT_NE(card.Input().GetCapabilities(formats), kWaveOk);
  EXPECT_EQ(formats, 0xABCDu);  // left as it was
  RecordingSink sink;
  const uint32_t code = card.Input().Open(U8Mono(8000), sink);
  EXPECT_EQ(code, static_cast<uint32_t>(ENOENT));
  EXPECT_TRUE(sink.notices.empty());
}

// A device another program holds (EBUSY) is present and its open fails with the in-use
// code, so the card tests name it as used by another application; any other refusal of the
// open counts as no device. The gate stands in for the other program on the "null" PCM.
// Beneath the box, stderr names the device and the reason.
TEST(AlsaDevice, BusyDeviceIsPresentAndNamedInUse) {
  const struct {
    const char* name;
    int input, output;  // the errno each open of that side gets
    uint8_t present;
    const char* message;
    const char* reason;
  } cases[] = {
      {"InputBusy", EBUSY, 0, 1,
       "Fonctionnement impossible car entrée carte son utilisée par une autre application.",
       "périphérique « null », entrée : occupé"},
      {"OutputBusy", 0, EBUSY, 1,
       "Fonctionnement impossible car sortie carte son utilisée par une autre application.",
       "périphérique « null », sortie : occupé"},
      {"BothBusy", EBUSY, EBUSY, 1,
       "Fonctionnement impossible car entrée carte son utilisée par une autre application.",
       "périphérique « null », entrée : occupé"},
      {"InputMissing", ENOENT, 0, 0, "Fonctionnement impossible car il n'y a pas de carte son.",
       "périphérique « null », entrée : périphérique inexistant"},
      {"NoSuchDevice", ENODEV, 0, 0, "Fonctionnement impossible car il n'y a pas de carte son.",
       "périphérique « null », entrée : périphérique inexistant"},
      {"OutputRefused", 0, EACCES, 0, "Fonctionnement impossible car il n'y a pas de carte son.",
       "périphérique « null », sortie : permission refusée"},
      {"InputNotAllowed", EPERM, 0, 0, "Fonctionnement impossible car il n'y a pas de carte son.",
       "périphérique « null », entrée : permission refusée"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto card = std::make_unique<AlsaSoundCard>(
        "null", [&c](PcmDirection d) { return d == PcmDirection::Capture ? c.input : c.output; });
    CardEventSource events(*card);
    RecordingMessageBox box;
    SteadyClock clock;
    RecordingSpeakerPorts speaker;
    HeapMemory memory;
    const EnginePlatform platform{*card, events, box, clock, speaker, memory};
    EngineState engine;
    auto dsp = std::make_unique<DspState>();
    ::testing::internal::CaptureStderr();
    const uint8_t present = CheckSoundCardPresence(engine, platform);
    EXPECT_EQ(present, c.present);
    if (present != 0) {
      EXPECT_EQ(TestSoundCard(engine, *dsp, platform), 0);
    }
    card.reset();  // which writes its refusals
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), ProgramLine(c.reason) + "\n");
    EXPECT_EQ(box.messages, std::vector<std::string>{c.message});
  }
}

// Reasons the card's refusals above do not reach, and what --cartes prints.
TEST(SoundDevices, ReasonsAndListing) {
  const struct {
    int err;
    unsigned rate;
    const char* reason;
  } reasons[] = {
      {EINVAL, 8000, "fréquence non prise en charge (8000 Hz)"},
      {EINVAL, 0, "fréquence non prise en charge"},
      {ENXIO, 0, "périphérique inexistant"},
      {EIO, 0, "erreur d'entrée-sortie sur le support"},
  };
  for (const auto& r : reasons) {
    EXPECT_EQ(DeviceFailureReason(r.err, r.rate), r.reason) << r.err;
  }
  const std::vector<SoundDevice> devices = {
      {"hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC269 Analog\nDirect hardware device", true, true},
      {"dsnoop:CARD=USB", "USB Audio", true, false},
      {"default", "Default ALSA Output (currently PipeWire Media Server)", true, true},
      {"surround40:CARD=PCH", "4.0 Surround output", false, true},
  };
  EXPECT_EQ(DeviceListing(devices),
            "default (capture et lecture)\n"
            "    Default ALSA Output (currently PipeWire Media Server)\n"
            "hw:CARD=PCH,DEV=0 (capture et lecture)\n"
            "    HDA Intel PCH, ALC269 Analog\n"
            "    Direct hardware device\n"
            "dsnoop:CARD=USB (capture)\n"
            "    USB Audio\n"
            "surround40:CARD=PCH (lecture)\n"
            "    4.0 Surround output\n");
  EXPECT_EQ(DeviceListing({}), "Aucun périphérique de capture ou de lecture trouvé.\n");
}

// Misuse of one device, each with the errno the messages will carry.
TEST(AlsaDevice, ResultCodesOfMisuse) {
  AlsaSoundCard card("null");
  RecordingSink sink;
  Buffer b(64);
  EXPECT_EQ(card.Input().PrepareHeader(b.header), static_cast<uint32_t>(EBADF));  // not open
  WaveFormat stereo = U8Mono(8000);
  stereo.nChannels = 2;
  EXPECT_EQ(card.Input().Open(stereo, sink), static_cast<uint32_t>(EINVAL));
  ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
  EXPECT_EQ(card.Input().Open(U8Mono(8000), sink), static_cast<uint32_t>(EBUSY));
  EXPECT_EQ(card.Input().AddBuffer(b.header), static_cast<uint32_t>(EINVAL));  // unprepared
  ASSERT_EQ(card.Input().PrepareHeader(b.header), kWaveOk);
  ASSERT_EQ(card.Input().AddBuffer(b.header), kWaveOk);
  EXPECT_EQ(card.Input().AddBuffer(b.header), static_cast<uint32_t>(EBUSY));  // queued twice
  EXPECT_EQ(card.Input().UnprepareHeader(b.header), static_cast<uint32_t>(EBUSY));
  EXPECT_EQ(card.Input().Close(), static_cast<uint32_t>(EBUSY));  // buffers still queued
  EXPECT_EQ(card.Input().Reset(), kWaveOk);
  EXPECT_EQ(card.Input().UnprepareHeader(b.header), kWaveOk);
  EXPECT_EQ(card.Input().Close(), kWaveOk);
}

// Queued input comes back in queue order, once each: filled once started (the null device
// captures silence, every byte written), untouched from a reset before the start.
TEST(AlsaDevice, QueuedInputComesBackInOrder) {
  for (const bool start : {true, false}) {
    SCOPED_TRACE(start ? "Started" : "ResetBeforeStart");
    AlsaSoundCard card("null");
    RecordingSink sink;
    Buffer one(400, 0xEE);
    Buffer two(400, 0xEE);
    ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
    for (Buffer* b : {&one, &two}) {
      ASSERT_EQ(card.Input().PrepareHeader(b->header), kWaveOk);
      ASSERT_EQ(card.Input().AddBuffer(b->header), kWaveOk);
      EXPECT_EQ(b->header.dwFlags & WHDR_INQUEUE, WHDR_INQUEUE);
    }
    if (start) {
      ASSERT_EQ(card.Input().Start(), kWaveOk);
      ASSERT_EQ(WaitFor(card, sink, MM_WIM_DATA, 2), 2u);
    }
    card.WaitForActivity(20);  // not started: nothing may fill
    ASSERT_EQ(card.Input().Reset(), kWaveOk);
    ASSERT_EQ(card.Input().Close(), kWaveOk);
    const std::vector<Recorded> expected = {{MM_WIM_OPEN, nullptr},
                                            {MM_WIM_DATA, &one.header},
                                            {MM_WIM_DATA, &two.header},
                                            {MM_WIM_CLOSE, nullptr}};
    EXPECT_EQ(sink.notices, expected);
    for (Buffer* b : {&one, &two}) {
      EXPECT_EQ(b->header.dwBytesRecorded, start ? 400u : 0u);
      EXPECT_EQ(b->header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
      EXPECT_EQ(b->memory, std::vector<uint8_t>(400, start ? b->memory[0] : uint8_t{0xEE}));
      EXPECT_EQ(b->memory[0] != 0xEE, start);
    }
  }
}

// A program late in handing its input buffers back loses nothing while ALSA's ring holds the
// sound: through alsa-lib's "file" plugin the device reads a counting pattern (always ready, so
// it stays far ahead), and the three buffers' contents must follow one another in it.
TEST(AlsaDevice, LateInputBuffersLoseNothing) {
  common::TempDir dir;
  std::string pattern(4000, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) {
    pattern[i] = static_cast<char>(i % 251);
  }
  common::WriteFile(dir.P("in.raw"), pattern);
  common::WriteFile(dir.P("asound.conf"),
                    "pcm.counting { type file slave.pcm { type null } file \"" + dir.P("out.raw") +
                        "\" infile \"" + dir.P("in.raw") + "\" format raw }\n");
  ::setenv("ALSA_CONFIG_PATH", dir.P("asound.conf").c_str(), 1);
  std::vector<uint8_t> got;
  {
    AlsaSoundCard card("counting");
    RecordingSink sink;
    Buffer one(300);
    Buffer two(300);
    ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
    for (Buffer* b : {&one, &two}) {
      ASSERT_EQ(card.Input().PrepareHeader(b->header), kWaveOk);
      ASSERT_EQ(card.Input().AddBuffer(b->header), kWaveOk);
    }
    ASSERT_EQ(card.Input().Start(), kWaveOk);
    ASSERT_EQ(WaitFor(card, sink, MM_WIM_DATA, 2), 2u);
    got.insert(got.end(), one.memory.begin(), one.memory.end());
    got.insert(got.end(), two.memory.begin(), two.memory.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // nothing queued meanwhile
    ASSERT_EQ(card.Input().AddBuffer(one.header), kWaveOk);
    ASSERT_EQ(WaitFor(card, sink, MM_WIM_DATA, 3), 3u);
    got.insert(got.end(), one.memory.begin(), one.memory.end());
    EXPECT_EQ(card.Input().Reset(), kWaveOk);
    EXPECT_EQ(card.Input().Close(), kWaveOk);
    EXPECT_EQ(card.CaptureOverruns(), 0u);
  }
  ::unsetenv("ALSA_CONFIG_PATH");
  ASSERT_EQ(got.size(), 900u);
  for (size_t i = 1; i < got.size(); ++i) {
    ASSERT_EQ(got[i], (got[i - 1] + 1) % 251) << "sample " << i;
  }
}

TEST(AlsaDevice, PlaybackReturnsEachWrittenBufferOnce) {
  AlsaSoundCard card("null");
  RecordingSink sink;
  Buffer one(300, 128);
  Buffer two(300, 128);
  ASSERT_EQ(card.Output().Open(U8Mono(8000), sink), kWaveOk);
  for (Buffer* b : {&one, &two}) {
    ASSERT_EQ(card.Output().PrepareHeader(b->header), kWaveOk);
    ASSERT_EQ(card.Output().Write(b->header), kWaveOk);
  }
  ASSERT_EQ(WaitFor(card, sink, MM_WOM_DONE, 2), 2u);
  card.WaitForActivity(20);
  const std::vector<Recorded> expected = {{MM_WOM_DONE, &one.header}, {MM_WOM_DONE, &two.header}};
  EXPECT_EQ(sink.notices, expected);
  EXPECT_EQ(card.Output().UnprepareHeader(one.header), kWaveOk);
  EXPECT_EQ(card.Output().Reset(), kWaveOk);
  EXPECT_EQ(card.Output().Close(), kWaveOk);
}

// A session catching up on captured sound calls on the input only: the output buffers that
// came back meanwhile are posted first, so each is queued again before a block is made into it.
TEST(AlsaDevice, InputCallsPostTheFinishedOutputFirst) {
  AlsaSoundCard card("null");
  RecordingSink sink;
  Buffer out(300, 128);
  Buffer in(300);
  ASSERT_EQ(card.Output().Open(U8Mono(8000), sink), kWaveOk);
  ASSERT_EQ(card.Output().PrepareHeader(out.header), kWaveOk);
  ASSERT_EQ(card.Output().Write(out.header), kWaveOk);
  ASSERT_EQ(WaitReadable(card.ActivityFd(), -1, 5000), 1);  // finished, not yet posted
  ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
  ASSERT_EQ(card.Input().PrepareHeader(in.header), kWaveOk);
  ASSERT_EQ(card.Input().AddBuffer(in.header), kWaveOk);
  const std::vector<Recorded> expected = {{MM_WIM_OPEN, nullptr}, {MM_WOM_DONE, &out.header}};
  EXPECT_EQ(sink.notices, expected);
  EXPECT_EQ(card.Input().Reset(), kWaveOk);
  EXPECT_EQ(card.Input().Close(), kWaveOk);
  EXPECT_EQ(card.Output().Close(), kWaveOk);
}

int CallerPolicy() {
  int policy = -1;
  sched_param param{};
  pthread_getschedparam(pthread_self(), &policy, &param);
  return policy;
}

// Whether this system lets a thread take real-time scheduling, tried on a thread of its own.
bool RealTimeGranted() {
  bool granted = false;
  std::thread([&granted] {
    sched_param param{};
    param.sched_priority = 1;
    granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
  }).join();
  return granted;
}

// The thread that runs the session answers each block in time: it has the service threads'
// priority while the input is open (where the system grants it), and its own back after, the
// output's open and close leaving it as they found it.
TEST(AlsaDevice, InputOpenRunsTheCallerAtServicePriorityUntilClosed) {
  const int own = CallerPolicy();
  const int whileOpen = RealTimeGranted() ? SCHED_FIFO : own;
  AlsaSoundCard card("null");
  RecordingSink sink;
  ASSERT_EQ(card.Output().Open(U8Mono(8000), sink), kWaveOk);
  EXPECT_EQ(CallerPolicy(), own);
  ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
  EXPECT_EQ(CallerPolicy(), whileOpen);
  EXPECT_EQ(card.Output().Close(), kWaveOk);
  EXPECT_EQ(CallerPolicy(), whileOpen);
  EXPECT_EQ(card.Input().Close(), kWaveOk);
  EXPECT_EQ(CallerPolicy(), own);
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// ALSA's null device is always ready and never keeps time. Its service threads (real-time where
// the system grants it) must still sleep between rounds, not take a processor each. A loaded
// machine only lowers the figure.
TEST(AlsaDevice, AlwaysReadyDeviceDoesNotKeepAProcessor) {
  AlsaSoundCard card("null");
  RecordingSink sink;
  Buffer out(800, 128);
  ASSERT_EQ(card.Input().Open(U8Mono(8000), sink), kWaveOk);
  ASSERT_EQ(card.Output().Open(U8Mono(8000), sink), kWaveOk);
  ASSERT_EQ(card.Input().Start(), kWaveOk);
  ASSERT_EQ(card.Output().PrepareHeader(out.header), kWaveOk);
  ASSERT_EQ(card.Output().Write(out.header), kWaveOk);
  const double cpuBefore = ProcessCpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
  // Both threads spinning would take about two processors' worth.
  EXPECT_LT(cpu, 0.3 * wall.count());
  EXPECT_EQ(card.Input().Reset(), kWaveOk);
  EXPECT_EQ(card.Output().Reset(), kWaveOk);
  EXPECT_EQ(card.Input().Close(), kWaveOk);
  EXPECT_EQ(card.Output().Close(), kWaveOk);
}

}  // namespace
}  // namespace velunda
