#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velunda {

// Line component types and control types, with the values of the Windows mixer interface so that
// every back-end speaks the same model.
namespace mixer_type {
inline constexpr uint32_t kDstSpeakers = 4;         // MIXERLINE_COMPONENTTYPE_DST_SPEAKERS
inline constexpr uint32_t kDstWaveIn = 7;           // MIXERLINE_COMPONENTTYPE_DST_WAVEIN
inline constexpr uint32_t kSrcLine = 0x1002;        // MIXERLINE_COMPONENTTYPE_SRC_LINE
inline constexpr uint32_t kSrcMicrophone = 0x1003;  // MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE
inline constexpr uint32_t kSrcWaveOut = 0x1008;     // MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT
inline constexpr uint32_t kSrcAuxiliary = 0x1009;   // MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY

inline constexpr uint32_t kMute = 0x20010002;      // MIXERCONTROL_CONTROLTYPE_MUTE
inline constexpr uint32_t kUnsigned = 0x30030000;  // MIXERCONTROL_CONTROLTYPE_UNSIGNED
inline constexpr uint32_t kVolume = 0x50030001;    // MIXERCONTROL_CONTROLTYPE_VOLUME
inline constexpr uint32_t kBass = 0x50030002;      // MIXERCONTROL_CONTROLTYPE_BASS
inline constexpr uint32_t kTreble = 0x50030003;    // MIXERCONTROL_CONTROLTYPE_TREBLE
inline constexpr uint32_t kMux = 0x70010001;       // MIXERCONTROL_CONTROLTYPE_MUX
inline constexpr uint32_t kMixer = 0x71010001;     // MIXERCONTROL_CONTROLTYPE_MIXER
}  // namespace mixer_type

// One line of a mixer: a destination or one of a destination's sources.
struct MixerLine {
  uint32_t LineId = 0;
  uint32_t Destination = 0;  // index of the destination the line belongs to
  uint32_t ComponentType = 0;
  std::string ShortName;
  uint32_t Channels = 0;
  uint32_t Controls = 0;     // number of controls
  uint32_t Connections = 0;  // sources of a destination; 0 for a source
};

struct MixerControl {
  uint32_t ControlId = 0;
  uint32_t ControlType = 0;
  bool Uniform = false;
  uint32_t Items = 0;  // entries of a source list, else 0
  uint32_t Minimum = 0;
  uint32_t Maximum = 0;
};

// One entry of a source-list control: the source line it selects.
struct MixerListItem {
  uint32_t LineId = 0;
  std::string Name;
};

struct StereoValue {
  uint32_t Left = 0;
  uint32_t Right = 0;
};

// A sound card's mixer (device 0), modelled on the Windows mixer interface. Queries return
// nothing and sets return false when the platform call fails.
class Mixer {
 public:
  virtual ~Mixer() = default;

  virtual uint32_t DeviceCount() = 0;
  virtual uint32_t DestinationCount() = 0;
  virtual std::optional<MixerLine> LineByDestination(uint32_t destination) = 0;
  // First line of that component type, destinations before their sources.
  virtual std::optional<MixerLine> LineByComponentType(uint32_t componentType) = 0;
  virtual std::optional<MixerLine> LineById(uint32_t lineId) = 0;
  virtual std::optional<MixerLine> LineBySource(uint32_t destination, uint32_t source) = 0;
  virtual std::optional<std::vector<MixerControl>> LineControls(uint32_t lineId) = 0;
  virtual std::optional<std::vector<MixerListItem>> ListItems(const MixerControl& control) = 0;

  virtual std::optional<bool> GetSwitch(uint32_t controlId) = 0;
  virtual bool SetSwitch(uint32_t controlId, bool value) = 0;
  virtual std::optional<StereoValue> GetStereo(uint32_t controlId, uint32_t channels) = 0;
  virtual bool SetStereo(uint32_t controlId, uint32_t channels, StereoValue value) = 0;
  virtual std::optional<std::vector<bool>> GetItems(uint32_t controlId, uint32_t items) = 0;
  virtual bool SetItems(uint32_t controlId, const std::vector<bool>& selection) = 0;
};

}  // namespace velunda
