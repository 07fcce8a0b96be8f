#pragma once
// Filters prepared straight from the signal-processing layer's design functions, apart from the
// sessions and the command line: what a run of each must equal. Each prepares a fresh DspState
// whose SampleRate the caller has set.
#include <functional>
#include <string>

#include "dsp/dsp_state.hpp"

namespace velunda::common {

using Prepare = std::function<void(DspState&)>;

inline Prepare LowPass(double cutoff, int32_t taps) {
  return [=](DspState& d) {
    d.FilterKind = "PASSEBAS";
    d.PasseBas.LowPassCutoff = cutoff;
    d.PasseBas.LowPassTapCount = taps;
    LowPassDesign(d);
  };
}

inline Prepare BandPass(uint16_t centre, double width, int32_t taps) {
  return [=](DspState& d) {
    d.FilterKind = "PASSEBANDE";
    d.PasseBande.BandPassCentre = centre;
    d.PasseBande.BandPassWidth = width;
    d.PasseBande.BandPassTapCount = taps;
    BandPassSetup(d);
  };
}

inline Prepare Bfo(int32_t shift, bool inverted) {
  return [=](DspState& d) {
    d.FilterKind = "BFO_NUMERIQUE";
    d.Bfo.BfoShift = shift;
    d.Bfo.BfoInverted = inverted;
    d.Transform.WindowEnabled = false;
    d.Transform.TransformSize = 1024;
    TransformInit(d.Transform);
  };
}

inline Prepare Notch(double frequency, uint8_t wide, uint8_t automatic, int32_t threshold,
                     int32_t length, int32_t divisor) {
  return [=](DspState& d) {
    d.FilterKind = "REJECTEUR_PAR_TFD";
    RejecteurState& r = d.Rejecteur;
    r.RejectorSampleRate = d.SampleRate;
    r.NotchNyquist = d.SampleRate / 2;
    NotchDesignNarrow(d);
    NotchDesignWide(d);
    r.NotchLength = length;
    r.DetectionDivisor = divisor;
    r.NotchFrequency = frequency;
    r.NotchWide = wide;
    r.NotchThreshold = threshold;
    PrepareRejectorRun(d);  // in manual mode; automatic mode then starts as the Insert key does
    if (automatic != 0) {
      r.NotchAuto = 1;
      NotchStart(d);
    }
  };
}

// The CW/RTTY reducer in `setting` 0 (CW) or 1 (RTTY), the general one at level 3 or 1.
inline Prepare Reducer(const char* kind, uint8_t setting) {
  return [=](DspState& d) {
    d.FilterKind = kind;
    if (d.FilterKind == "REDUCTEUR_CW") {
      d.ReducteurCw.CwReducerSampleRate = d.SampleRate;
      d.ReducteurCw.CwRttyMode = setting;
      CwReducerSetup(d);
    } else {
      d.ReducteurGeneral.VoiceReducerSampleRate = d.SampleRate;
      d.ReducteurGeneral.VoiceReductionLevel = setting;
      GeneralReducerSetup(d);
    }
  };
}

}  // namespace velunda::common
