#include "platform/simulated_mixer.hpp"

#include <utility>

namespace velunda {

namespace mt = mixer_type;

namespace {

constexpr uint32_t kSrcCompactDisc = 0x1005;  // MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC

ControlDescription Fader(uint32_t type, uint32_t maximum, uint32_t left, uint32_t right) {
  ControlDescription c;
  c.ControlType = type;
  c.Maximum = maximum;
  c.Value = {left, right};
  return c;
}

ControlDescription Mute(bool on) {
  ControlDescription c;
  c.ControlType = mt::kMute;
  c.Maximum = 1;
  c.Uniform = true;
  c.Switch = on;
  return c;
}

ControlDescription List(uint32_t type, std::vector<uint32_t> sources, std::vector<bool> selection) {
  ControlDescription c;
  c.ControlType = type;
  c.Maximum = 1;
  c.Uniform = true;
  c.ItemSources = std::move(sources);
  c.Selection = std::move(selection);
  return c;
}

LineDescription Line(uint32_t type, std::string name, uint32_t channels,
                     std::vector<ControlDescription> controls) {
  return {type, std::move(name), channels, std::move(controls)};
}

}  // namespace

void SimulatedMixer::Note(const char* operation, uint32_t id, std::vector<uint32_t> values) {
  calls_.push_back({operation, id, std::move(values)});
}

std::vector<MixerCall> SimulatedMixer::Writes() const {
  std::vector<MixerCall> writes;
  for (const auto& call : calls_) {
    if (call.Operation.rfind("Set", 0) == 0) {
      writes.push_back(call);
    }
  }
  return writes;
}

MixerDescription FullCardDescription() {
  DestinationDescription speakers;
  speakers.Line = Line(
      mt::kDstSpeakers, "Volume", 2,
      {Fader(mt::kVolume, 65535, 40000, 41000), Mute(true), Fader(mt::kBass, 65535, 30000, 30000),
       Fader(mt::kTreble, 65535, 31000, 31000), Fader(mt::kUnsigned, 65535, 500, 500),
       List(mt::kMixer, {0, 1, 2, 3}, {true, false, true, false})});
  speakers.Sources = {
      Line(mt::kSrcWaveOut, "Wave", 2, {Fader(mt::kVolume, 65535, 50000, 50000), Mute(true)}),
      Line(mt::kSrcLine, "Line In", 2, {Fader(mt::kVolume, 65535, 20000, 21000), Mute(false)}),
      Line(mt::kSrcMicrophone, "Micro", 1, {Fader(mt::kVolume, 65535, 15000, 15000), Mute(false)}),
      Line(kSrcCompactDisc, "CD", 2, {Fader(mt::kVolume, 65535, 12000, 12000), Mute(false)}),
  };

  DestinationDescription recording;
  recording.Line = Line(mt::kDstWaveIn, "Enregistrement", 2,
                        {List(mt::kMixer, {0, 1, 2}, {false, true, true}),
                         Fader(mt::kUnsigned, 65535, 10000, 10000)});
  recording.Sources = {
      Line(mt::kSrcLine, "Line In", 2, {Fader(mt::kVolume, 65535, 60000, 61000)}),
      Line(mt::kSrcMicrophone, "Micro", 1, {Fader(mt::kVolume, 65535, 30000, 30000)}),
      Line(kSrcCompactDisc, "CD", 2, {Fader(mt::kVolume, 65535, 25000, 25000)}),
  };
  return {true, {speakers, recording}};
}

MixerDescription AuxLineInCardDescription() {
  DestinationDescription speakers;
  speakers.Line =
      Line(mt::kDstSpeakers, "Master", 2, {Fader(mt::kVolume, 31, 20, 20), Mute(false)});
  speakers.Sources = {
      Line(mt::kSrcWaveOut, "PCM", 2, {Fader(mt::kVolume, 31, 25, 25), Mute(false)}),
      Line(mt::kSrcAuxiliary, "Line In", 2, {Fader(mt::kVolume, 31, 10, 10), Mute(false)}),
      Line(mt::kSrcMicrophone, "Mic", 1, {Fader(mt::kVolume, 31, 8, 8), Mute(false)}),
  };

  DestinationDescription recording;
  recording.Line =
      Line(mt::kDstWaveIn, "Capture", 2,
           {List(mt::kMux, {0, 1, 2}, {false, false, true}), Fader(mt::kUnsigned, 3, 0, 0)});
  recording.Sources = {
      Line(mt::kSrcAuxiliary, "Stereo Mix", 2, {Fader(mt::kVolume, 31, 31, 31)}),
      Line(mt::kSrcAuxiliary, "Line In", 2, {Fader(mt::kVolume, 31, 16, 16)}),
      Line(mt::kSrcMicrophone, "Mic", 1, {Fader(mt::kVolume, 31, 16, 16)}),
  };
  return {true, {speakers, recording}};
}

MixerDescription NoRecordingCardDescription() {
  DestinationDescription speakers;
  speakers.Line =
      Line(mt::kDstSpeakers, "Master", 2, {Fader(mt::kVolume, 255, 128, 128), Mute(false)});
  speakers.Sources = {
      Line(mt::kSrcWaveOut, "PCM", 2, {Fader(mt::kVolume, 255, 200, 200), Mute(false)}),
      Line(mt::kSrcLine, "Line", 2, {Fader(mt::kVolume, 255, 100, 100), Mute(false)}),
      Line(mt::kSrcMicrophone, "Mic", 1, {Fader(mt::kVolume, 255, 100, 100), Mute(false)}),
  };
  return {true, {speakers}};
}

MixerDescription NoMixerDescription() { return {false, {}}; }

}  // namespace velunda
