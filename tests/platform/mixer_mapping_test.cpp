#include "platform/mixer_mapping.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "config/fonctions_mixer.hpp"
#include "platform/server_mixer.hpp"
#include "platform/simulated_mixer.hpp"

namespace velunda {
namespace {

namespace mt = mixer_type;

AlsaElement Playback(std::string name, long max, bool sw = true, bool mono = false) {
  AlsaElement e;
  e.Name = std::move(name);
  e.PlaybackVolume = max > 0;
  e.PlaybackMax = max;
  e.PlaybackSwitch = sw;
  e.PlaybackMono = mono;
  return e;
}

AlsaElement Capture(AlsaElement e, long max, bool sw, bool mono = false) {
  e.CaptureVolume = max > 0;
  e.CaptureMax = max;
  e.CaptureSwitch = sw;
  e.CaptureMono = mono;
  return e;
}

AlsaElement Switch(std::string name) { return Playback(std::move(name), 0, true); }

// Realtek HDA codec: mono master, capture through "Input Source" and "Capture", two boosts.
std::vector<AlsaElement> HdaCodec() {
  AlsaElement source;
  source.Name = "Input Source";
  source.CaptureEnum = true;
  source.EnumItems = {"Front Mic", "Rear Mic", "Line"};
  AlsaElement autoMute;
  autoMute.Name = "Auto-Mute Mode";
  autoMute.EnumItems = {"Disabled", "Enabled"};
  AlsaElement capture1 = Capture(AlsaElement{}, 63, true);
  capture1.Name = "Capture";
  capture1.Index = 1;
  return {Playback("Master", 64, true, true),
          Playback("Headphone", 0, true),
          Playback("Speaker", 64),
          Playback("PCM", 255, false),
          Playback("Front Mic", 31),
          Playback("Front Mic Boost", 3, false),
          Playback("Line", 31),
          Playback("Mic", 31),
          Playback("Mic Boost", 3, false),
          Playback("Beep", 31),
          Switch("IEC958"),
          Capture(Playback("Capture", 0, false), 63, true),
          capture1,
          autoMute,
          source};
}

// USB headset adapter (C-Media): speaker, microphone with playback loop and capture.
std::vector<AlsaElement> UsbCard() {
  return {Playback("Speaker", 151), Capture(Playback("Mic", 32), 16, true, true),
          Switch("Auto Gain Control")};
}

// The "default" mixer of PulseAudio or PipeWire.
std::vector<AlsaElement> SoundServer() {
  return {Playback("Master", 65536), Capture(Playback("Capture", 0, false), 65536, true)};
}

std::string Name(uint32_t type) {
  static const std::map<uint32_t, std::string> names = {
      {mt::kVolume, "VOLUME"}, {mt::kMute, "MUTE"}, {mt::kUnsigned, "UNSIGNED"}, {mt::kMux, "MUX"},
      {mt::kMixer, "MIXER"},   {mt::kBass, "BASS"}, {mt::kTreble, "TREBLE"}};
  const auto found = names.find(type);
  return found == names.end() ? "?" : found->second;
}

// One line per mixer line: "type name channels: control max [items], ..."
std::vector<std::string> Summary(const MixerDescription& model) {
  std::vector<std::string> out;
  auto line = [&out](const LineDescription& l, const std::string& indent) {
    std::ostringstream s;
    s << indent << std::hex << l.ComponentType << std::dec << " " << l.ShortName << " "
      << l.Channels << ":";
    for (const auto& c : l.Controls) {
      s << " " << Name(c.ControlType) << " " << c.Maximum;
      for (uint32_t i : c.ItemSources) {
        s << " #" << i;
      }
      s << ",";
    }
    out.push_back(s.str());
  };
  for (const auto& d : model.Destinations) {
    line(d.Line, "");
    for (const auto& src : d.Sources) {
      line(src, "  ");
    }
  }
  return out;
}

struct CardCase {
  const char* name;
  std::vector<AlsaElement> (*elements)();
  std::vector<std::string> lines;
  MixerResults line;        // flags with a line input chosen
  MixerResults microphone;  // and with the microphone
  friend void PrintTo(const CardCase& c, std::ostream* os) { *os << c.name; }
};

class Cards : public ::testing::TestWithParam<CardCase> {};

std::vector<int> Flags(const MixerResults& r) {
  return {r.MixerFound,      r.RecordingFound,      r.PlaybackFound,
          r.WaveSourceFound, r.RecordingInputFound, r.PlaybackInputFound};
}

TEST_P(Cards, MapOntoTheModel) {
  const CardCase& c = GetParam();
  const MappedMixer mapped = MapAlsaElements(c.elements());
  EXPECT_EQ(Summary(mapped.Model), c.lines);

  size_t controls = 0;
  for (const auto& d : mapped.Model.Destinations) {
    controls += d.Line.Controls.size();
    for (const auto& s : d.Sources) {
      controls += s.Controls.size();
    }
  }
  EXPECT_EQ(mapped.Bindings.size(), controls);

  for (uint8_t microphone : {0, 1}) {
    SimulatedMixer mixer(mapped.Model);
    MixerState state;
    state.SoftwareMixer = 1;
    AdjustMixer(mixer, state, microphone, 20, 20, 100, 100, 0, 34, state.Results);
    EXPECT_EQ(Flags(state.Results), Flags(microphone ? c.microphone : c.line))
        << (microphone ? "microphone" : "line");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Alsa, Cards,
    ::testing::Values(
        CardCase("hda", HdaCodec,
                 {"4 Master 1: VOLUME 64, MUTE 1,", "  1008 PCM 2: VOLUME 255,",
                  "  1003 Front Mic 2: VOLUME 31, MUTE 1,", "  1002 Line 2: VOLUME 31, MUTE 1,",
                  "  1003 Mic 2: VOLUME 31, MUTE 1,",
                  "7 Capture 2: VOLUME 63, MUTE 1, MUX 1 #0 #1 #2, UNSIGNED 3, UNSIGNED 3,",
                  "  1003 Front Mic 2: VOLUME 63,", "  1003 Rear Mic 2: VOLUME 63,",
                  "  1002 Line 2: VOLUME 63,"},
                 {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}),
        CardCase("usb", UsbCard,
                 {"4 Speaker 2: VOLUME 151, MUTE 1,", "  1003 Mic 2: VOLUME 32, MUTE 1,",
                  "7 Capture 2: MIXER 1 #0,", "  1003 Mic 1: VOLUME 16,"},
                 {1, 1, 1, 0, 0, 0}, {1, 1, 1, 0, 1, 1}),
        CardCase("sound_server", SoundServer,
                 {"4 Master 2: VOLUME 65536, MUTE 1,", "7 Capture 2: VOLUME 65536, MUTE 1,"},
                 {1, 1, 1, 0, 0, 0}, {1, 1, 1, 0, 0, 0}),
        CardCase("nothing_maps",
                 [] {
                   return std::vector<AlsaElement>{Switch("IEC958"), Playback("Beep", 7)};
                 },
                 {}, {1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0})),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AlsaBindings, ReachTheRightElementsAndSides) {
  const auto elements = HdaCodec();
  const MappedMixer mapped = MapAlsaElements(elements);
  SimulatedMixer model(mapped.Model);
  auto binding = [&](const char* line, uint32_t type) {
    const uint32_t id = model.ControlIdOf(line, type);
    EXPECT_NE(id, 0u) << line;
    return mapped.Bindings.at(id - 1);
  };
  auto element = [&](const AlsaBinding& b) { return elements.at(b.Element).Name; };
  EXPECT_EQ(binding("Master", mt::kMute).Access, AlsaAccess::PlaybackMute);
  EXPECT_EQ(element(binding("Master", mt::kMute)), "Master");
  EXPECT_EQ(binding("Capture", mt::kMux).Access, AlsaAccess::CaptureEnumList);
  EXPECT_EQ(element(binding("Capture", mt::kMux)), "Input Source");
  EXPECT_EQ(binding("Capture", mt::kUnsigned).Access, AlsaAccess::PlaybackVolume);
  EXPECT_EQ(element(binding("Capture", mt::kUnsigned)), "Front Mic Boost");
  // The recording line of an enumerated source is set through the capture volume.
  const auto& recording = mapped.Model.Destinations[1];
  uint32_t id = model.ControlIdOf("Capture", mt::kUnsigned) + 2;  // first source's volume
  EXPECT_EQ(recording.Sources[0].ShortName, "Front Mic");
  EXPECT_EQ(mapped.Bindings.at(id - 1).Access, AlsaAccess::CaptureVolume);
  EXPECT_EQ(elements.at(mapped.Bindings.at(id - 1).Element).Name, "Capture");
  EXPECT_EQ(elements.at(mapped.Bindings.at(id - 1).Element).Index, 0u);

  const auto usb = UsbCard();
  const MappedMixer usbMapped = MapAlsaElements(usb);
  ASSERT_EQ(usbMapped.Bindings.size(), 6u);  // speaker 2, playback mic 2, list, capture mic
  EXPECT_EQ(usbMapped.Bindings[4].Access, AlsaAccess::CaptureSwitchList);
  EXPECT_EQ(usbMapped.Bindings[4].ItemElements, std::vector<size_t>{1});
  EXPECT_EQ(usbMapped.Bindings[5].Access, AlsaAccess::CaptureVolume);
}

TEST(AlsaBindings, RangesStartAtZero) {
  AlsaElement master = Playback("Master", 0);
  master.PlaybackVolume = true;
  master.PlaybackMin = -20;
  master.PlaybackMax = 40;
  const MappedMixer mapped = MapAlsaElements({master});
  ASSERT_EQ(mapped.Model.Destinations.size(), 1u);
  EXPECT_EQ(mapped.Model.Destinations[0].Line.Controls[0].Maximum, 60u);
  EXPECT_EQ(mapped.Bindings[0].Offset, -20);
}

// A sound server kept in memory, left for the test to read once the mixer is gone.
struct ServerState {
  ServerSource source;
  std::optional<StreamLevel> stream;
};

class FakeServer final : public SoundServer {
 public:
  explicit FakeServer(ServerState& s) : s_(s) {}
  std::optional<ServerSource> DefaultSource() override { return s_.source; }
  bool SetSourceVolumes(const std::string&, const ServerVolumes& volumes) override {
    s_.source.Volumes = volumes;
    return true;
  }
  bool SetSourcePort(const std::string&, const std::string& port) override {
    s_.source.ActivePort = port;
    return true;
  }
  std::optional<StreamLevel> OwnStreamLevel() override { return s_.stream; }
  bool SetOwnStreamLevel(const StreamLevel& level) override {
    if (s_.stream) {
      *s_.stream = level;
    }
    return s_.stream.has_value();
  }

 private:
  ServerState& s_;
};

struct ServerCase {
  const char* name;
  std::vector<std::string> ports;  // the default source's
  std::string activePort;
  std::optional<StreamLevel> stream;  // the program's playback stream, when open
  uint8_t microphone;
  int32_t gain;                      // the recording gain, 0..100
  int32_t speaker;                   // loudspeaker volume, %
  uint16_t wave;                     // wave output volume, %
  std::string port;                  // the port chosen
  uint32_t volume;                   // the source's volume, each channel
  std::optional<StreamLevel> level;  // the stream's
  friend void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }
};

class ServerMixers : public ::testing::TestWithParam<ServerCase> {};

// The set-up reaches the server, finds every line it looks for, and Quit puts all back.
TEST_P(ServerMixers, SetTheServerAndPutItBack) {
  const ServerCase& c = GetParam();
  ServerState server;
  server.source.Name = "recepteur";
  for (const auto& port : c.ports) {
    server.source.Ports.push_back({port, ""});
  }
  server.source.ActivePort = c.activePort;
  server.source.Volumes = {30000, 40000};
  server.stream = c.stream;
  const ServerState before = server;
  {
    ServerMixer mixer(std::make_unique<FakeServer>(server), server.source);
    MixerState state;
    state.SoftwareMixer = 1;
    state.WaveOutputVolume = c.wave;
    AdjustMixer(mixer, state, c.microphone, c.speaker, c.speaker, 100, 100, 0, c.gain,
                state.Results);
    EXPECT_EQ(Flags(state.Results), (std::vector<int>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(server.source.ActivePort, c.port);
    EXPECT_EQ(server.source.Volumes, (ServerVolumes{c.volume, c.volume}));
    EXPECT_EQ(server.stream, c.level);
    RestoreMixer(mixer, state);
  }
  EXPECT_EQ(server.source.ActivePort, before.source.ActivePort);
  EXPECT_EQ(server.source.Volumes, before.source.Volumes);
  EXPECT_EQ(server.stream, before.stream);
}

const std::vector<std::string> kHdaPorts = {"analog-input-front-mic", "analog-input-rear-mic",
                                            "analog-input-linein"};
const std::vector<std::string> kMicPort = {"analog-input-mic"}, kNoPorts = {},
                               kRadioPorts = {"analog-input-mic", "analog-input-radio"};

INSTANTIATE_TEST_SUITE_P(
    SoundServer, ServerMixers,
    ::testing::Values(
        ServerCase{"LineChosenOnTheLinePort", kHdaPorts, "analog-input-rear-mic",
                   StreamLevel{{65536, 65536}, true}, 0, 67, 20, 100, "analog-input-linein", 104273,
                   StreamLevel{{13107, 13107}, false}},
        ServerCase{"MicrophoneChosenOnTheFirstMicrophonePort", kHdaPorts, "analog-input-linein",
                   StreamLevel{{50000}, false}, 1, 0, 20, 100, "analog-input-front-mic", 65536,
                   StreamLevel{{13107}, false}},
        // Low levels: the loudspeaker stays at 4 % and the wave output does the rest.
        ServerCase{"LowLevelMultipliesBothVolumes", kMicPort, "analog-input-mic",
                   StreamLevel{{65536}, false}, 1, 34, 4, 60, "analog-input-mic", 82953,
                   StreamLevel{{1572}, false}},
        // A source without ports (a USB receiver, a monitor) is the input of either kind.
        ServerCase{"NoPortsTheSourceItself", kNoPorts, "", StreamLevel{{65536}, false}, 0, 100, 20,
                   100, "", 131072, StreamLevel{{13107}, false}},
        ServerCase{"MissingKindKeepsThePortFound", kRadioPorts, "analog-input-radio", std::nullopt,
                   0, 34, 20, 100, "analog-input-radio", 82953, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velunda
