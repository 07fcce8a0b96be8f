#include "config/fonctions_mixer.hpp"

#include <gtest/gtest.h>

#include "platform/simulated_mixer.hpp"

namespace velunda {
namespace {

namespace mt = mixer_type;

TEST(PercentRule, BothCasesOfTheMaximum) {
  struct Case {
    uint32_t minimum, maximum;
    int32_t percent;
    uint32_t raw;
  };
  const Case cases[] = {
      {0, 65535, 34, 22281},  {0, 65536, 34, 22270}, {0, 65535, 100, 65535},
      {0, 65536, 100, 65500}, {0, 31, 50, 15},       {10, 110, 50, 50},  // minimum not added
      {0, 255, 0, 0},         {0, 3, 67, 2},         {0, 131072, 67, 87770},
  };
  for (const auto& c : cases) {
    MixerControl control;
    control.Minimum = c.minimum;
    control.Maximum = c.maximum;
    EXPECT_EQ(PercentToRaw(control, c.percent), c.raw) << c.maximum << " " << c.percent;
  }
}

StereoValue ValueOf(SimulatedMixer& mixer, const std::string& line, uint32_t type) {
  return mixer.FindControl(mixer.ControlIdOf(line, type))->Value;
}

bool SwitchOf(SimulatedMixer& mixer, const std::string& line) {
  return mixer.FindControl(mixer.ControlIdOf(line, mt::kMute))->Switch;
}

MixerState Software(uint8_t flag = 1) {
  MixerState state;
  state.SoftwareMixer = flag;
  return state;
}

TEST(UserMode, OnlyTheInputGainReachesTheMixer) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software(0);
  state.Results.MixerFound = 1;
  AdjustMixer(mixer, state, 0, 50, 50, 100, 0, 0, 34, state.Results);
  RestoreMixer(mixer, state);
  SetMasterVolume(mixer, state, 0, 0);
  EXPECT_TRUE(mixer.Calls().empty());
  EXPECT_EQ(state.Results.MixerFound, 1);

  SetInputGain(mixer, 34);
  const uint32_t gain = mixer.ControlIdOf("Enregistrement", mt::kUnsigned);
  EXPECT_EQ(mixer.Writes(), (std::vector<MixerCall>{{"SetStereo", gain, {2, 22281, 22281}}}));
}

struct CardFlags {
  const char* name;
  MixerDescription (*card)();
  MixerResults expected;
};

class Flags : public ::testing::TestWithParam<CardFlags> {};

TEST_P(Flags, TellWhatTheCardLacks) {
  SimulatedMixer mixer(GetParam().card());
  MixerState state = Software();
  // Flags from an earlier call, left as they were when there is no mixer at all.
  state.Results = {1, 1, 1, 1, 0, 1};
  AdjustMixer(mixer, state, 0, 20, 20, 100, 100, 0, 0, state.Results);
  const MixerResults& r = state.Results;
  const MixerResults& e = GetParam().expected;
  EXPECT_EQ(r.MixerFound, e.MixerFound);
  EXPECT_EQ(r.RecordingFound, e.RecordingFound);
  EXPECT_EQ(r.PlaybackFound, e.PlaybackFound);
  EXPECT_EQ(r.WaveSourceFound, e.WaveSourceFound);
  EXPECT_EQ(r.RecordingInputFound, e.RecordingInputFound);
  EXPECT_EQ(r.PlaybackInputFound, e.PlaybackInputFound);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Flags,
    ::testing::Values(CardFlags{"full", FullCardDescription, {1, 1, 1, 1, 1, 1}},
                      CardFlags{"aux", AuxLineInCardDescription, {1, 1, 1, 1, 1, 1}},
                      CardFlags{"norec", NoRecordingCardDescription, {1, 0, 1, 1, 0, 1}},
                      CardFlags{"none", NoMixerDescription, {0, 1, 1, 1, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoutingCase {
  const char* name;
  MixerDescription (*card)();
  uint8_t microphone;
  const char* recordingList;
  std::vector<bool> recorded;
  const char* playbackInput;  // chosen input as a playback source
  const char* otherInput;
  bool otherMuted;  // the other input is looked for by component type only
  const char* recordingInput;
  StereoValue recordingVolume;  // lineLeft 50 %, lineRight 0 %
};

class Routing : public ::testing::TestWithParam<RoutingCase> {};

TEST_P(Routing, RecordsTheChosenInputAndMutesItInPlayback) {
  const RoutingCase& c = GetParam();
  SimulatedMixer mixer(c.card());
  MixerState state = Software();
  AdjustMixer(mixer, state, c.microphone, 30, 30, 50, 0, 0, 0, state.Results);
  uint32_t list = mixer.ControlIdOf(c.recordingList, mt::kMixer);
  if (list == 0) {
    list = mixer.ControlIdOf(c.recordingList, mt::kMux);
  }
  EXPECT_EQ(mixer.FindControl(list)->Selection, c.recorded);
  EXPECT_TRUE(SwitchOf(mixer, c.playbackInput));
  EXPECT_EQ(SwitchOf(mixer, c.otherInput), c.otherMuted);
  EXPECT_EQ(state.Results.RecordingInputFound, 1);
  EXPECT_EQ(state.Results.PlaybackInputFound, 1);
  // The recording volume is set on the recording destination's own source line.
  const auto& recording = mixer.Description().Destinations[1];
  for (const auto& source : recording.Sources) {
    if (source.ShortName == c.recordingInput) {
      EXPECT_EQ(source.Controls[0].Value.Left, c.recordingVolume.Left);
      EXPECT_EQ(source.Controls[0].Value.Right, c.recordingVolume.Right);
    }
  }
  // The playback volume of the chosen input follows the same line volumes.
  const StereoValue playback = ValueOf(mixer, c.playbackInput, mt::kVolume);
  EXPECT_EQ(playback.Left, c.recordingVolume.Left);
  EXPECT_EQ(playback.Right, c.recordingVolume.Right);
}

INSTANTIATE_TEST_SUITE_P(Cards, Routing,
                         ::testing::Values(RoutingCase{"full_line",
                                                       FullCardDescription,
                                                       0,
                                                       "Enregistrement",
                                                       {true, false, false},
                                                       "Line In",
                                                       "Micro",
                                                       true,
                                                       "Line In",
                                                       {32767, 0}},
                                           RoutingCase{"full_mic",
                                                       FullCardDescription,
                                                       1,
                                                       "Enregistrement",
                                                       {false, true, false},
                                                       "Micro",
                                                       "Line In",
                                                       true,
                                                       "Micro",
                                                       {32767, 32767}},
                                           // No line-type source: "Line In" is recognised by its
                                           // short name, in both mixes.
                                           RoutingCase{"aux_line",
                                                       AuxLineInCardDescription,
                                                       0,
                                                       "Capture",
                                                       {false, true, false},
                                                       "Line In",
                                                       "Mic",
                                                       true,
                                                       "Line In",
                                                       {15, 0}},
                                           RoutingCase{"aux_mic",
                                                       AuxLineInCardDescription,
                                                       1,
                                                       "Capture",
                                                       {false, false, true},
                                                       "Mic",
                                                       "Line In",
                                                       false,
                                                       "Mic",
                                                       {15, 15}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Save, OnlyTheFirstCallReadsTheMixer) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software();
  AdjustMixer(mixer, state, 0, 20, 20, 100, 100, 0, 0, state.Results);
  auto reads = [&mixer] {
    size_t n = 0;
    for (const auto& call : mixer.Calls()) {
      n += call.Operation == "GetStereo" || call.Operation == "GetSwitch";
    }
    return n;
  };
  // Speaker volume, bass, treble, wave, input volume, recording input volume; three mutes
  // (speaker, wave, input) and the other input's.
  EXPECT_EQ(reads(), 10u);
  mixer.ClearCalls();
  AdjustMixer(mixer, state, 0, 60, 60, 25, 0, 0, 67, state.Results);
  AdjustMixer(mixer, state, 1, 80, 80, 50, 0, 0, 100, state.Results);
  EXPECT_EQ(reads(), 0u);
}

TEST(Restore, PutsBackTheValuesFoundBeforeTheFirstCall) {
  const MixerDescription original = FullCardDescription();
  SimulatedMixer mixer(original);
  MixerState state = Software();
  AdjustMixer(mixer, state, 0, 20, 20, 100, 100, 10, 0, state.Results);
  AdjustMixer(mixer, state, 0, 60, 60, 0, 50, 10, 34, state.Results);
  AdjustMixer(mixer, state, 0, 4, 4, 25, 0, 10, 100, state.Results);
  RestoreMixer(mixer, state);

  MixerDescription expected = original;
  // Not saved: the playback gain keeps its last value, the recording gain goes to its minimum.
  expected.Destinations[0].Line.Controls[4].Value = {6553, 6553};
  expected.Destinations[1].Line.Controls[1].Value = {0, 0};
  const auto& now = mixer.Description();
  for (size_t d = 0; d < expected.Destinations.size(); ++d) {
    auto compare = [](const LineDescription& want, const LineDescription& got) {
      for (size_t k = 0; k < want.Controls.size(); ++k) {
        EXPECT_EQ(got.Controls[k].Value.Left, want.Controls[k].Value.Left) << got.ShortName << k;
        EXPECT_EQ(got.Controls[k].Value.Right, want.Controls[k].Value.Right) << got.ShortName << k;
        EXPECT_EQ(got.Controls[k].Switch, want.Controls[k].Switch) << got.ShortName << k;
        EXPECT_EQ(got.Controls[k].Selection, want.Controls[k].Selection) << got.ShortName << k;
      }
    };
    compare(expected.Destinations[d].Line, now.Destinations[d].Line);
    for (size_t s = 0; s < expected.Destinations[d].Sources.size(); ++s) {
      compare(expected.Destinations[d].Sources[s], now.Destinations[d].Sources[s]);
    }
  }
}

TEST(Restore, WritesInItsOrder) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software();
  AdjustMixer(mixer, state, 0, 20, 20, 100, 100, 0, 0, state.Results);
  mixer.ClearCalls();
  RestoreMixer(mixer, state);
  std::vector<uint32_t> order;
  for (const auto& w : mixer.Writes()) {
    order.push_back(w.Id);
  }
  auto id = [&mixer](const char* line, uint32_t type) { return mixer.ControlIdOf(line, type); };
  // "Line In" finds the playback source; the recording sources follow the recording gain.
  const std::vector<uint32_t> expected = {
      id("Enregistrement", mt::kMixer),
      id("Enregistrement", mt::kUnsigned),
      id("Enregistrement", mt::kUnsigned) + 1,  // recording Line In volume
      id("Volume", mt::kMute),
      id("Volume", mt::kMixer),
      id("Volume", mt::kVolume),
      id("Volume", mt::kBass),
      id("Volume", mt::kTreble),
      id("Wave", mt::kMute),
      id("Wave", mt::kVolume),
      id("Line In", mt::kMute),
      id("Micro", mt::kMute),
      id("Line In", mt::kVolume),
  };
  EXPECT_EQ(order, expected);
}

TEST(MasterVolume, SetsTheLoudspeakerVolumesOnly) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software();
  SetMasterVolume(mixer, state, 0, 50);
  EXPECT_EQ(mixer.Writes(),
            (std::vector<MixerCall>{
                {"SetStereo", mixer.ControlIdOf("Volume", mt::kVolume), {2, 0, 32767}}}));
  SimulatedMixer none(NoRecordingCardDescription());
  SetInputGain(none, 100);
  EXPECT_TRUE(none.Writes().empty());
}

}  // namespace
}  // namespace velunda
