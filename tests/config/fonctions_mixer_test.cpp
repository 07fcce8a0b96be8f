#include "config/fonctions_mixer.hpp"

#include <gtest/gtest.h>

#include "platform/simulated_mixer.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

namespace mt = mixer_type;

TEST(PercentRule, BothCasesOfTheMaximum) {
  const struct {
    uint32_t minimum, maximum;
    int32_t percent;
    uint32_t raw;
  } cases[] = {
      {0, 65535, 34, 22281},  {0, 65536, 34, 22270},
      {0, 65536, 100, 65500}, {10, 110, 50, 50},  // the minimum is not added back
      {0, 3, 67, 2},          {0, 131072, 67, 87770},
  };
  for (const auto& c : cases) {
    MixerControl control;
    control.Minimum = c.minimum;
    control.Maximum = c.maximum;
    EXPECT_EQ(PercentToRaw(control, c.percent), c.raw) << c.maximum << " " << c.percent;
  }
}

MixerState Software(uint8_t flag = 1) {
  MixerState state;
  state.SoftwareMixer = flag;
  return state;
}

void Adjust(Mixer& mixer, MixerState& state, uint8_t microphone, int32_t lineLeft,
            int32_t lineRight, int32_t inputGain = 0) {
  AdjustMixer(mixer, state, microphone, 20, 20, lineLeft, lineRight, 0, inputGain, state.Results);
}

// While the user adjusts the mixer, only SetInputGain reaches it; in the program's mode the
// master volume is the loudspeaker's volume alone.
TEST(MixerMode, DecidesWhatReachesTheMixer) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software(0);
  state.Results.MixerFound = 1;
  Adjust(mixer, state, 0, 50, 50, 34);
  RestoreMixer(mixer, state);
  SetMasterVolume(mixer, state, 0, 0);
  EXPECT_TRUE(mixer.Calls().empty());
  EXPECT_EQ(state.Results.MixerFound, 1);
  SetInputGain(mixer, 34);
  const uint32_t gain = mixer.ControlIdOf("Enregistrement", mt::kUnsigned);
  EXPECT_EQ(mixer.Writes(), (std::vector<MixerCall>{{"SetStereo", gain, {2, 22281, 22281}}}));

  mixer.ClearCalls();
  SetMasterVolume(mixer, Software(), 0, 50);
  const uint32_t volume = mixer.ControlIdOf("Volume", mt::kVolume);
  EXPECT_EQ(mixer.Writes(), (std::vector<MixerCall>{{"SetStereo", volume, {2, 0, 32767}}}));
}

// The chosen input alone is recorded, with the line volumes (left 50 %, right 0 %) on its
// recording line and in the playback mix, where it is muted. Without a line-type source,
// "Line In" is recognised by its short name.
TEST(Routing, RecordsTheChosenInputAndMutesItInPlayback) {
  const struct {
    MixerDescription (*card)();
    uint8_t microphone;
    const char* recordingList;
    const char* recorded;  // the list's selection, x for recorded
    const char* input;
    const char* other;
    bool otherMuted;  // the other input is looked for by component type only
    uint32_t left, right;
  } cases[] = {
      {FullCardDescription, 0, "Enregistrement", "x..", "Line In", "Micro", true, 32767, 0},
      {AuxLineInCardDescription, 0, "Capture", ".x.", "Line In", "Mic", true, 15, 0},
      {AuxLineInCardDescription, 1, "Capture", "..x", "Mic", "Line In", false, 15, 15},
      {[] {  // recorded "Line In" of no known type
         MixerDescription card = AuxLineInCardDescription();
         card.Destinations[1].Sources[1].ComponentType = 0x1005;
         return card;
       },
       0, "Capture", ".x.", "Line In", "Mic", true, 15, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    SimulatedMixer mixer(c.card());
    MixerState state = Software();
    Adjust(mixer, state, c.microphone, 50, 0);
    uint32_t list = mixer.ControlIdOf(c.recordingList, mt::kMixer);
    list = list != 0 ? list : mixer.ControlIdOf(c.recordingList, mt::kMux);
    std::string recorded;
    for (bool on : mixer.FindControl(list)->Selection) {
      recorded += on ? 'x' : '.';
    }
    EXPECT_EQ(recorded, c.recorded);
    EXPECT_TRUE(mixer.FindControl(mixer.ControlIdOf(c.input, mt::kMute))->Switch);
    EXPECT_EQ(mixer.FindControl(mixer.ControlIdOf(c.other, mt::kMute))->Switch, c.otherMuted);
    EXPECT_EQ(state.Results.RecordingInputFound, 1);
    EXPECT_EQ(state.Results.PlaybackInputFound, 1);
    for (const auto& source : mixer.Description().Destinations[1].Sources) {
      if (source.ShortName == c.input) {
        EXPECT_EQ(source.Controls[0].Value.Left, c.left);
        EXPECT_EQ(source.Controls[0].Value.Right, c.right);
      }
    }
    const StereoValue playback = mixer.FindControl(mixer.ControlIdOf(c.input, mt::kVolume))->Value;
    EXPECT_EQ(playback.Left, c.left);
    EXPECT_EQ(playback.Right, c.right);
  }
}

TEST(Save, OnlyTheFirstCallReadsTheMixer) {
  SimulatedMixer mixer(FullCardDescription());
  MixerState state = Software();
  auto reads = [&mixer] {
    size_t n = 0;
    for (const auto& call : mixer.Calls()) {
      n += call.Operation == "GetStereo" || call.Operation == "GetSwitch";
    }
    return n;
  };
  Adjust(mixer, state, 0, 100, 100);
  // Speaker volume, bass, treble, gain, wave, input volume, recording input volume; three
  // mutes (speaker, wave, input) and the other input's.
  EXPECT_EQ(reads(), 11u);
  mixer.ClearCalls();
  Adjust(mixer, state, 0, 25, 0, 67);
  EXPECT_EQ(reads(), 0u);
  // The microphone now chosen: its two volumes are new, its mute was saved as the other input.
  Adjust(mixer, state, 1, 50, 0, 100);
  EXPECT_EQ(reads(), 2u);
  mixer.ClearCalls();
  Adjust(mixer, state, 0, 50, 0, 100);
  Adjust(mixer, state, 1, 50, 0, 100);
  EXPECT_EQ(reads(), 0u);
}

// After several calls, whatever input each chose, the values found before the program first
// touched each control come back; the recording gain goes to its minimum.
TEST(Restore, PutsBackTheValuesFoundBeforeTheFirstCall) {
  const struct {
    const char* name;
    MixerDescription (*card)();
    std::vector<uint8_t> microphone;  // one adjustment per entry
  } cases[] = {
      {"line only", FullCardDescription, {0, 0, 0}},
      {"line then microphone", FullCardDescription, {0, 1, 1}},
      {"microphone then line", FullCardDescription, {1, 0, 1}},
      {"aux line then microphone", AuxLineInCardDescription, {0, 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MixerDescription original = c.card();
    SimulatedMixer mixer(original);
    MixerState state = Software();
    int32_t level = 100;
    for (uint8_t microphone : c.microphone) {
      AdjustMixer(mixer, state, microphone, level / 5, level / 5, level, level / 2, 10, level,
                  state.Results);
      level -= 30;
    }
    RestoreMixer(mixer, state);
    MixerDescription expected = original;
    for (auto& control : expected.Destinations[1].Line.Controls) {
      if (control.ControlType == mt::kUnsigned) {
        control.Value = {0, 0};
      }
    }
    EXPECT_EQ(Values(mixer.Description()), Values(expected));
  }
}

}  // namespace
}  // namespace velunda
