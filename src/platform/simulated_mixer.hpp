#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/mixer_model.hpp"

namespace velunda {

// One call made to a simulated mixer: operation name, control or line identifier, arguments.
struct MixerCall {
  std::string Operation;
  uint32_t Id = 0;
  std::vector<uint32_t> Values;
  bool operator==(const MixerCall&) const = default;
};

// An in-memory mixer built from a description, recording every call made to it.
class SimulatedMixer final : public ModelMixer {
 public:
  explicit SimulatedMixer(MixerDescription description) : ModelMixer(std::move(description)) {}

  const std::vector<MixerCall>& Calls() const { return calls_; }
  // The calls that change something (SetSwitch, SetStereo, SetItems).
  std::vector<MixerCall> Writes() const;
  void ClearCalls() { calls_.clear(); }

 protected:
  void Note(const char* operation, uint32_t id, std::vector<uint32_t> values) override;

 private:
  std::vector<MixerCall> calls_;
};

// Cards to run the mixer logic on.
// Every line looked for: loudspeaker destination with volume, mute, tone, gain and a source list;
// wave, line, microphone and CD sources; recording destination with a multiple-select list and a
// gain control.
MixerDescription FullCardDescription();
// No line-type source anywhere: the line input is an auxiliary source named "Line In", and the
// recording destination has a single-select list.
MixerDescription AuxLineInCardDescription();
// Playback only: no recording destination.
MixerDescription NoRecordingCardDescription();
// No mixer device at all.
MixerDescription NoMixerDescription();

}  // namespace velunda
