#pragma once
#include <array>
#include <cstdint>

#include "dsp/passebas.hpp"

namespace velunda {

struct DspState;

// CW/RTTY noise reducer: adaptive predictor, fixed shaping FIR, short band-pass FIR.
// Its histories and weights start at zero and are never cleared during a run.
struct ReducteurCwState {
  int32_t CwReducerSampleRate = 8000;
  uint8_t CwRttyMode = 0;  // 0 CW, 1 RTTY
  bool CwReductionOff = false;

  int32_t CwReducerTaps = 10;
  int32_t ShapingTaps = 10;
  std::array<int32_t, 10> ShapingCoefficients{};  // v, scaled by 10000
  // Length of the band-pass stage (34 or 46). Kept apart from the band-pass action's
  // calibrated length, which the reducer leaves alone.
  int32_t CwBandTapCount = 34;

  std::array<int32_t, 100> CwHistory{};      // h, newest first, PowerWindow entries used
  std::array<int32_t, 10> CwWeights{};       // w
  std::array<int32_t, 10> ShapingHistory{};  // z, newest first
  FirHistory CwBandHistory;                  // u, newest first, CwBandTapCount entries used
};

// Loads the shaping coefficients and designs the band-pass stage into the shared kernel for
// CwReducerSampleRate and CwRttyMode. dsp.SampleRate must equal CwReducerSampleRate.
void CwReducerSetup(DspState& dsp);
// Filters dsp.CurrentSample in place.
void CwReducerStep(DspState& dsp);

}  // namespace velunda
