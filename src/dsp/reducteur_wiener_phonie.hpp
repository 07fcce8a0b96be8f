#pragma once
#include <array>
#include <cstdint>

namespace velunda {

struct DspState;

// General noise reducer for voice: a normalised, leaky LMS predictor with make-up gain.
struct ReducteurGeneralState {
  int32_t VoiceReducerSampleRate = 8000;
  int32_t VoiceReductionLevel = 3;  // 3 weak, 1 strong
  bool VoiceReductionOff = false;

  int32_t ReducerTaps = 20;                   // P
  std::array<int32_t, 100> GeneralHistory{};  // newest first
  std::array<int32_t, 100> GeneralWeights{};
  int32_t GeneralEstimate = 0;    // y
  int32_t GeneralCorrection = 0;  // g
};

// Sizes the filter for VoiceReducerSampleRate and restarts the adaptation from zero.
void GeneralReducerSetup(DspState& dsp);
// Filters dsp.CurrentSample in place.
void GeneralReducerStep(DspState& dsp);

}  // namespace velunda
