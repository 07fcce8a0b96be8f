#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/mixer_model.hpp"

namespace velunda {

// What the ALSA simple mixer says about one element of a card.
struct AlsaElement {
  std::string Name;
  unsigned Index = 0;
  bool PlaybackVolume = false;
  bool PlaybackSwitch = false;
  bool CaptureVolume = false;
  bool CaptureSwitch = false;
  bool CaptureSwitchExclusive = false;
  bool PlaybackMono = false;
  bool CaptureMono = false;
  long PlaybackMin = 0;
  long PlaybackMax = 0;
  long CaptureMin = 0;
  long CaptureMax = 0;
  bool CaptureEnum = false;  // an enumerated capture source ("Input Source")
  std::vector<std::string> EnumItems;
};

// How one control of the model is read and written on the card.
enum class AlsaAccess {
  PlaybackVolume,
  PlaybackMute,  // the inverted playback switch
  CaptureVolume,
  CaptureMute,        // the inverted capture switch
  CaptureSwitchList,  // one capture switch per item
  CaptureEnumList,    // one enumerated capture source
};

struct AlsaBinding {
  AlsaAccess Access = AlsaAccess::PlaybackVolume;
  size_t Element = 0;                // index in the element list
  long Offset = 0;                   // ALSA value of the model's 0
  std::vector<size_t> ItemElements;  // switch lists: the element of each item
};

struct MappedMixer {
  MixerDescription Model;
  std::vector<AlsaBinding> Bindings;  // by control identifier - 1
};

// Maps a card's simple mixer elements onto the mixer model: the playback master is the
// loudspeaker destination, PCM the wave output, Line, Mic and auxiliary elements sources; the
// capture side is the recording destination with its source list and gain controls.
MappedMixer MapAlsaElements(const std::vector<AlsaElement>& elements);

}  // namespace velunda
