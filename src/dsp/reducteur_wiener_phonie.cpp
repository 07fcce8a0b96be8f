#include "dsp/reducteur_wiener_phonie.hpp"

#include "dsp/dsp_state.hpp"

namespace velunda {

void GeneralReducerSetup(DspState& dsp) {
  ReducteurGeneralState& r = dsp.ReducteurGeneral;
  if (r.VoiceReducerSampleRate == 8000) {
    r.ReducerTaps = 20;
    dsp.Reducteurs.PowerWindow = 40;
  } else {
    r.ReducerTaps = 27;
    dsp.Reducteurs.PowerWindow = 55;
  }
  r.GeneralWeights.fill(0);
  r.GeneralHistory.fill(0);
  r.GeneralCorrection = 0;
}

void GeneralReducerStep(DspState& dsp) {
  ReducteurGeneralState& r = dsp.ReducteurGeneral;
  ReducerShared& shared = dsp.Reducteurs;
  shared.ReducerInput = ReducerScaleSample(dsp.CurrentSample);
  if (r.VoiceReductionOff) {
    return;
  }
  const int32_t level = r.VoiceReductionLevel;
  const AdaptiveResult stage = AdaptiveStage(shared, r.GeneralHistory.data(),
                                             r.GeneralWeights.data(), r.ReducerTaps, level * 32512);
  r.GeneralCorrection = stage.correction;
  int32_t y = stage.estimate;
  if (level == 3) {
    y = (y * 100) / 77;
  } else if (level == 1) {
    y = (y * 100) / 51;
  }
  r.GeneralEstimate = y;
  dsp.CurrentSample = ReducerOutputSample(y);
}

}  // namespace velunda
