#pragma once
#include <cstdint>
#include <vector>

#include "platform/mixer.hpp"

namespace velunda {

// The six diagnoses of AdjustMixer, byte flags.
struct MixerResults {
  uint8_t MixerFound = 0;
  uint8_t RecordingFound = 0;
  uint8_t PlaybackFound = 0;
  uint8_t WaveSourceFound = 0;
  uint8_t RecordingInputFound = 0;  // stays 1 once set
  uint8_t PlaybackInputFound = 0;
};

// A fader's value as found before the program first changed it.
struct SavedStereo {
  bool Pending = true;  // not saved yet
  bool Saved = false;
  uint32_t ControlId = 0;
  uint32_t Channels = 0;
  StereoValue Value;
};

struct SavedSwitch {
  bool Pending = true;
  bool Saved = false;
  bool Value = false;
};

// A mute found on a line, kept with the line so that it is looked up again on restore.
struct SavedLineSwitch {
  bool Pending = true;
  bool Saved = false;
  uint32_t LineId = 0;
  uint32_t Controls = 0;
  bool Value = false;
};

// The selections of a source list, one per item.
struct SavedSelection {
  bool Pending = true;
  bool Saved = false;
  uint32_t ControlId = 0;
  std::vector<bool> Items;
};

// What the program changes on the mixer, saved once per run (numbers of the restore order).
struct SavedMixerState {
  SavedSelection SpeakerList;        // 1
  SavedSwitch SpeakerMute;           // 2
  SavedStereo SpeakerVolume;         // 3
  SavedStereo Bass;                  // 4
  SavedStereo Treble;                // 5
  SavedStereo SpeakerGain;           // the loudspeaker's gain control, put back after 5
  SavedSwitch WaveMute;              // 6
  SavedStereo WaveVolume;            // 7
  SavedLineSwitch InputMute;         // 8
  SavedStereo InputVolume;           // 9
  SavedLineSwitch OtherInputMute;    // 10
  SavedSelection RecordingList;      // 11
  SavedStereo RecordingInputVolume;  // 12
  // Controls met for the first time under a role that another line already filled (the input
  // was changed after the first adjustment, or several sources match): their first values,
  // restored last.
  std::vector<SavedStereo> LaterVolumes;
  std::vector<SavedLineSwitch> LaterMutes;
};

// Inputs, results and saved state of the mixer control.
struct MixerState {
  uint8_t SoftwareMixer = 0;
  uint8_t MicrophoneSelected = 0;
  int32_t SpeakerVolumeLeft = 0;
  int32_t SpeakerVolumeRight = 0;
  int32_t LineVolumeLeft = 0;
  int32_t LineVolumeRight = 0;
  int32_t PlaybackGain = 0;
  int32_t InputGainPercent = 0;
  uint16_t WaveOutputVolume = 100;

  MixerResults Results;
  uint32_t RecordingInputLine = 0;  // line identifier of the recognised recording input
  SavedMixerState Saved;
};

// Raw value of a control for p percent: ((max - min) * p) div 100 below a maximum of 65536,
// ((max - min) div 100) * p from there on; the minimum is not added back.
uint32_t PercentToRaw(const MixerControl& control, int32_t percent);

// Routes the chosen input to recording only, mutes the inputs in the playback mix, sets the
// loudspeaker and wave-output levels; saves what it changes the first time it meets it.
void AdjustMixer(Mixer& mixer, MixerState& state, uint8_t microphone, int32_t speakerLeft,
                 int32_t speakerRight, int32_t lineLeft, int32_t lineRight, int32_t playbackGain,
                 int32_t inputGain, MixerResults& results);
// The same, with the values the state keeps.
void AdjustMixer(Mixer& mixer, MixerState& state);

// Recording gain controls to `percent`, whatever the mixer mode.
void SetInputGain(Mixer& mixer, int32_t percent);

// Loudspeaker volume. Left alone while the user adjusts the mixer: nothing would bring it back.
void SetMasterVolume(Mixer& mixer, const MixerState& state, int32_t left, int32_t right);

// Puts back what AdjustMixer saved; the recording gain goes to its minimum.
void RestoreMixer(Mixer& mixer, MixerState& state);

}  // namespace velunda
