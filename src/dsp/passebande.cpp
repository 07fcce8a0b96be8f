#include "dsp/passebande.hpp"

#include "dsp/dsp_state.hpp"
#include "dsp/passebas.hpp"

namespace velunda {

void BandPassSetup(DspState& dsp) {
  PasseBandeState& b = dsp.PasseBande;
  b.BandLowerEdge = b.BandPassCentre - b.BandPassWidth * 0.5;
  if (b.BandLowerEdge < 100.0) {
    b.BandLowerEdge = 100.0;
  }
  b.BandUpperEdge = b.BandPassWidth * 0.5 + b.BandPassCentre;
  if (b.BandUpperEdge > 3900.0) {
    b.BandUpperEdge = 3900.0;
  }
  BandPassDesign(dsp);
}

void BandPassDesign(DspState& dsp) { BandPassDesign(dsp, dsp.PasseBande.BandPassTapCount); }

void BandPassDesign(DspState& dsp, int32_t tapCount) {
  SymmetricFirDesign(dsp.Fir, tapCount, dsp.SampleRate, dsp.PasseBande.BandLowerEdge,
                     dsp.PasseBande.BandUpperEdge);
}

void BandPassStep(DspState& dsp) {
  dsp.CurrentSample = FixedFirStep(dsp.Fir, dsp.CurrentSample, dsp.PasseBande.BandPassBypass);
}

void BandPassCalibrate(DspState& dsp, Clock& clock) {
  dsp.PasseBande.BandPassCalibrated = true;
  BandPassSetup(dsp);
  const int64_t d = MeasureMsPerSecond(dsp, clock, BandPassStep, 38);
  dsp.PasseBande.BandPassTapCount = CalibratedTapCount(dsp.PasseBande.BandPassTapCount, d);
  BandPassSetup(dsp);
}

}  // namespace velunda
