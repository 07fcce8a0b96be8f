#include "config/fonctions_mixer.hpp"

#include <algorithm>
#include <string>

namespace velunda {

namespace mt = mixer_type;

namespace {

constexpr size_t kMaxEntries = 49;  // size of the control and item work tables

std::vector<MixerControl> ControlsOf(Mixer& mixer, uint32_t lineId) {
  auto controls = mixer.LineControls(lineId);
  if (!controls) {
    return {};
  }
  if (controls->size() > kMaxEntries) {
    controls->resize(kMaxEntries);
  }
  return *controls;
}

std::vector<MixerListItem> ItemsOf(Mixer& mixer, const MixerControl& control) {
  auto items = mixer.ListItems(control);
  if (!items) {
    return {};
  }
  if (items->size() > kMaxEntries) {
    items->resize(kMaxEntries);
  }
  return *items;
}

bool IsList(uint32_t type) { return type == mt::kMux || type == mt::kMixer; }

// "L"/"l" (or "M"/"m") followed by "I"/"i", as in "Line In" or "Mic".
bool NameIs(const std::string& name, char initial, bool needsI) {
  if (name.empty() || (name[0] | 0x20) != initial) {
    return false;
  }
  return !needsI || (name.size() > 1 && (name[1] | 0x20) == 'i');
}

void SetPercent(Mixer& mixer, const MixerControl& control, uint32_t channels, int32_t left,
                int32_t right) {
  mixer.SetStereo(control.ControlId, channels,
                  {PercentToRaw(control, left), PercentToRaw(control, right)});
}

bool StereoSaved(const SavedMixerState& s, uint32_t controlId) {
  for (const SavedStereo* slot : {&s.SpeakerVolume, &s.Bass, &s.Treble, &s.SpeakerGain, &s.WaveVolume,
                                  &s.InputVolume, &s.RecordingInputVolume}) {
    if (slot->Saved && slot->ControlId == controlId) {
      return true;
    }
  }
  return std::any_of(s.LaterVolumes.begin(), s.LaterVolumes.end(),
                     [controlId](const SavedStereo& v) { return v.ControlId == controlId; });
}

bool LineMuteSaved(const SavedMixerState& s, uint32_t lineId) {
  auto same = [lineId](const SavedLineSwitch& m) { return m.Saved && m.LineId == lineId; };
  return same(s.InputMute) || same(s.OtherInputMute) ||
         std::any_of(s.LaterMutes.begin(), s.LaterMutes.end(), same);
}

// A fader is read once, before the program first writes it: into its role's slot the first
// time the role is met, else among the later ones when no role holds it yet.
void SaveStereo(Mixer& mixer, SavedMixerState& all, SavedStereo& saved,
                const MixerControl& control, uint32_t channels) {
  if (!saved.Pending) {
    if (!StereoSaved(all, control.ControlId)) {
      if (auto value = mixer.GetStereo(control.ControlId, channels)) {
        all.LaterVolumes.push_back({false, true, control.ControlId, channels, *value});
      }
    }
    return;
  }
  saved.Pending = false;
  if (auto value = mixer.GetStereo(control.ControlId, channels)) {
    saved = {false, true, control.ControlId, channels, *value};
  }
}

void SaveSwitch(Mixer& mixer, SavedSwitch& saved, const MixerControl& control) {
  if (!saved.Pending) {
    return;
  }
  saved.Pending = false;
  if (auto value = mixer.GetSwitch(control.ControlId)) {
    saved.Saved = true;
    saved.Value = *value;
  }
}

void SaveLineSwitch(Mixer& mixer, SavedMixerState& all, SavedLineSwitch& saved,
                    const MixerLine& line, const MixerControl& control) {
  if (!saved.Pending) {
    if (!LineMuteSaved(all, line.LineId)) {
      if (auto value = mixer.GetSwitch(control.ControlId)) {
        all.LaterMutes.push_back({false, true, line.LineId, line.Controls, *value});
      }
    }
    return;
  }
  saved.Pending = false;
  if (auto value = mixer.GetSwitch(control.ControlId)) {
    saved = {false, true, line.LineId, line.Controls, *value};
  }
}

void RestoreStereo(Mixer& mixer, const SavedStereo& saved) {
  if (saved.Saved) {
    mixer.SetStereo(saved.ControlId, saved.Channels, saved.Value);
  }
}

// A line's mute is looked up again by the line saved with it.
void RestoreLineSwitch(Mixer& mixer, const SavedLineSwitch& saved) {
  if (!saved.Saved) {
    return;
  }
  for (const auto& control : ControlsOf(mixer, saved.LineId)) {
    if (control.ControlType == mt::kMute) {
      mixer.SetSwitch(control.ControlId, saved.Value);
    }
  }
}

void RestoreSelection(Mixer& mixer, const SavedSelection& saved, const MixerControl& control) {
  if (saved.Saved && saved.ControlId == control.ControlId && saved.Items.size() == control.Items) {
    mixer.SetItems(control.ControlId, saved.Items);
  }
}

// Step 3: the loudspeaker destination.
std::optional<MixerLine> AdjustSpeakers(Mixer& mixer, SavedMixerState& saved, int32_t left,
                                        int32_t right, int32_t playbackGain) {
  auto line = mixer.LineByComponentType(mt::kDstSpeakers);
  if (!line) {
    return line;
  }
  for (const auto& control : ControlsOf(mixer, line->LineId)) {
    switch (control.ControlType) {
      case mt::kMixer: {
        const auto items = ItemsOf(mixer, control);
        auto selection = mixer.GetItems(control.ControlId, control.Items);
        if (!selection) {
          break;
        }
        if (saved.SpeakerList.Pending) {
          saved.SpeakerList = {false, true, control.ControlId, *selection};
        }
        for (size_t k = 0; k < items.size() && k < selection->size(); ++k) {
          (*selection)[k] = true;
          mixer.SetItems(control.ControlId, *selection);
        }
        break;
      }
      case mt::kMute:
        SaveSwitch(mixer, saved.SpeakerMute, control);
        mixer.SetSwitch(control.ControlId, false);
        break;
      case mt::kVolume:
        SaveStereo(mixer, saved, saved.SpeakerVolume, control, line->Channels);
        SetPercent(mixer, control, line->Channels, left, right);
        break;
      case mt::kBass:
        SaveStereo(mixer, saved, saved.Bass, control, line->Channels);
        SetPercent(mixer, control, line->Channels, 100, 100);
        break;
      case mt::kTreble:
        SaveStereo(mixer, saved, saved.Treble, control, line->Channels);
        SetPercent(mixer, control, line->Channels, 100, 100);
        break;
      case mt::kUnsigned:
        SaveStereo(mixer, saved, saved.SpeakerGain, control, line->Channels);
        SetPercent(mixer, control, line->Channels, playbackGain, playbackGain);
        break;
      default:
        break;
    }
  }
  return line;
}

// Step 5 for one line recognised as the chosen input: out of the playback mix.
void MuteChosenInput(Mixer& mixer, SavedMixerState& saved, const MixerLine& line, int32_t left,
                     int32_t right) {
  for (const auto& control : ControlsOf(mixer, line.LineId)) {
    if (control.ControlType == mt::kMute) {
      SaveLineSwitch(mixer, saved, saved.InputMute, line, control);
      mixer.SetSwitch(control.ControlId, true);
    } else if (control.ControlType == mt::kVolume) {
      SaveStereo(mixer, saved, saved.InputVolume, control, line.Channels);
      SetPercent(mixer, control, line.Channels, left, right);
    }
  }
}

// Step 7 for one source list of the recording destination.
void RouteRecordingList(Mixer& mixer, MixerState& state, const MixerControl& control,
                        bool microphone, MixerResults& results) {
  const auto items = ItemsOf(mixer, control);
  auto selection = mixer.GetItems(control.ControlId, control.Items);
  if (!selection) {
    return;
  }
  SavedSelection& saved = state.Saved.RecordingList;
  if (saved.Pending) {
    saved = {false, true, control.ControlId, *selection};
  }
  const size_t count = std::min(items.size(), selection->size());
  std::vector<uint32_t> types(count, 0);
  std::vector<std::string> names(count);
  bool anyLine = false;
  for (size_t k = 0; k < count; ++k) {
    if (auto source = mixer.LineById(items[k].LineId)) {
      types[k] = source->ComponentType;
      names[k] = source->ShortName;
    }
    anyLine = anyLine || types[k] == mt::kSrcLine;
  }
  for (size_t k = 0; k < count; ++k) {
    bool chosen = false;
    if (microphone) {
      chosen = types[k] == mt::kSrcMicrophone;
    } else if (types[k] == mt::kSrcLine) {
      chosen = true;
    } else if (!anyLine) {
      chosen = (types[k] == mt::kSrcAuxiliary && NameIs(names[k], 'l', false)) ||
               NameIs(names[k], 'l', true);
    }
    (*selection)[k] = chosen;
    mixer.SetItems(control.ControlId, *selection);
    if (chosen) {
      results.RecordingInputFound = 1;
      state.RecordingInputLine = items[k].LineId;
    }
  }
}

}  // namespace

uint32_t PercentToRaw(const MixerControl& control, int32_t percent) {
  const int64_t p = std::clamp<int64_t>(percent, 0, 100);
  const int64_t range = std::max<int64_t>(0, int64_t{control.Maximum} - int64_t{control.Minimum});
  const int64_t raw = control.Maximum < 65536 ? (range * p) / 100 : (range / 100) * p;
  return static_cast<uint32_t>(raw);
}

void AdjustMixer(Mixer& mixer, MixerState& state, uint8_t microphone, int32_t speakerLeft,
                 int32_t speakerRight, int32_t lineLeft, int32_t lineRight, int32_t playbackGain,
                 int32_t inputGain, MixerResults& results) {
  if (state.SoftwareMixer == 0) {
    return;
  }
  if (mixer.DeviceCount() == 0) {
    results.MixerFound = 0;
    return;
  }
  results.MixerFound = 1;
  SavedMixerState& saved = state.Saved;

  auto speakers = AdjustSpeakers(mixer, saved, speakerLeft, speakerRight, playbackGain);
  results.PlaybackFound = speakers ? 1 : 0;

  auto wave = mixer.LineByComponentType(mt::kSrcWaveOut);
  results.WaveSourceFound = wave ? 1 : 0;
  if (wave) {
    for (const auto& control : ControlsOf(mixer, wave->LineId)) {
      if (control.ControlType == mt::kMute) {
        SaveSwitch(mixer, saved.WaveMute, control);
        mixer.SetSwitch(control.ControlId, false);
      } else if (control.ControlType == mt::kVolume) {
        SaveStereo(mixer, saved, saved.WaveVolume, control, wave->Channels);
        SetPercent(mixer, control, wave->Channels, state.WaveOutputVolume, state.WaveOutputVolume);
      }
    }
  }

  const uint32_t chosenType = microphone ? mt::kSrcMicrophone : mt::kSrcLine;
  const uint32_t otherType = microphone ? mt::kSrcLine : mt::kSrcMicrophone;
  results.PlaybackInputFound = 0;
  if (auto input = mixer.LineByComponentType(chosenType)) {
    results.PlaybackInputFound = 1;
    MuteChosenInput(mixer, saved, *input, lineLeft, lineRight);
  } else if (speakers) {
    for (uint32_t s = 0; s < speakers->Connections; ++s) {
      auto source = mixer.LineBySource(speakers->Destination, s);
      if (source && source->ComponentType == mt::kSrcAuxiliary &&
          NameIs(source->ShortName, microphone ? 'm' : 'l', true)) {
        results.PlaybackInputFound = 1;
        MuteChosenInput(mixer, saved, *source, lineLeft, lineRight);
      }
    }
  }

  if (auto other = mixer.LineByComponentType(otherType)) {
    for (const auto& control : ControlsOf(mixer, other->LineId)) {
      if (control.ControlType == mt::kMute) {
        SaveLineSwitch(mixer, saved, saved.OtherInputMute, *other, control);
        mixer.SetSwitch(control.ControlId, true);
      }
    }
  }

  auto recording = mixer.LineByComponentType(mt::kDstWaveIn);
  results.RecordingFound = recording ? 1 : 0;
  if (recording) {
    for (const auto& control : ControlsOf(mixer, recording->LineId)) {
      if (control.ControlType == mt::kUnsigned) {
        SetPercent(mixer, control, recording->Channels, inputGain, inputGain);
      } else if (IsList(control.ControlType)) {
        RouteRecordingList(mixer, state, control, microphone != 0, results);
      }
    }
  }

  if (results.RecordingInputFound == 1) {
    if (auto input = mixer.LineById(state.RecordingInputLine)) {
      for (const auto& control : ControlsOf(mixer, input->LineId)) {
        if (control.ControlType == mt::kVolume) {
          SaveStereo(mixer, saved, saved.RecordingInputVolume, control, input->Channels);
          SetPercent(mixer, control, input->Channels, lineLeft, lineRight);
        }
      }
    }
  }
}

void AdjustMixer(Mixer& mixer, MixerState& state) {
  AdjustMixer(mixer, state, state.MicrophoneSelected, state.SpeakerVolumeLeft,
              state.SpeakerVolumeRight, state.LineVolumeLeft, state.LineVolumeRight,
              state.PlaybackGain, state.InputGainPercent, state.Results);
}

void SetInputGain(Mixer& mixer, int32_t percent) {
  auto recording = mixer.LineByComponentType(mt::kDstWaveIn);
  if (!recording) {
    return;
  }
  for (const auto& control : ControlsOf(mixer, recording->LineId)) {
    if (control.ControlType == mt::kUnsigned) {
      SetPercent(mixer, control, recording->Channels, percent, percent);
    }
  }
}

void SetMasterVolume(Mixer& mixer, const MixerState& state, int32_t left, int32_t right) {
  if (state.SoftwareMixer == 0) {
    return;
  }
  auto speakers = mixer.LineByComponentType(mt::kDstSpeakers);
  if (!speakers) {
    return;
  }
  for (const auto& control : ControlsOf(mixer, speakers->LineId)) {
    if (control.ControlType == mt::kVolume) {
      SetPercent(mixer, control, speakers->Channels, left, right);
    }
  }
}

void RestoreMixer(Mixer& mixer, MixerState& state) {
  if (state.SoftwareMixer == 0 || mixer.DeviceCount() == 0) {
    return;
  }
  const SavedMixerState& saved = state.Saved;
  if (auto recording = mixer.LineByComponentType(mt::kDstWaveIn)) {
    for (const auto& control : ControlsOf(mixer, recording->LineId)) {
      if (control.ControlType == mt::kUnsigned) {
        mixer.SetStereo(control.ControlId, recording->Channels, {0, 0});
      } else if (IsList(control.ControlType)) {
        RestoreSelection(mixer, saved.RecordingList, control);
      }
    }
  }
  RestoreStereo(mixer, saved.RecordingInputVolume);
  if (auto speakers = mixer.LineByComponentType(mt::kDstSpeakers)) {
    for (const auto& control : ControlsOf(mixer, speakers->LineId)) {
      if (control.ControlType == mt::kMixer) {
        RestoreSelection(mixer, saved.SpeakerList, control);
      } else if (control.ControlType == mt::kMute && saved.SpeakerMute.Saved) {
        mixer.SetSwitch(control.ControlId, saved.SpeakerMute.Value);
      }
    }
  }
  RestoreStereo(mixer, saved.SpeakerVolume);
  RestoreStereo(mixer, saved.Bass);
  RestoreStereo(mixer, saved.Treble);
  RestoreStereo(mixer, saved.SpeakerGain);
  if (auto wave = mixer.LineByComponentType(mt::kSrcWaveOut)) {
    for (const auto& control : ControlsOf(mixer, wave->LineId)) {
      if (control.ControlType == mt::kMute && saved.WaveMute.Saved) {
        mixer.SetSwitch(control.ControlId, saved.WaveMute.Value);
      }
    }
  }
  RestoreStereo(mixer, saved.WaveVolume);
  RestoreLineSwitch(mixer, saved.InputMute);
  RestoreLineSwitch(mixer, saved.OtherInputMute);
  RestoreStereo(mixer, saved.InputVolume);
  for (const auto& mute : saved.LaterMutes) {
    RestoreLineSwitch(mixer, mute);
  }
  for (const auto& volume : saved.LaterVolumes) {
    RestoreStereo(mixer, volume);
  }
}

}  // namespace velunda
