#pragma once
#include <cstdint>

namespace velunda {

struct DspState;
class Clock;

struct PasseBandeState {
  uint16_t BandPassCentre = 800;
  double BandPassWidth = 250.0;
  double BandLowerEdge = 0.0;
  double BandUpperEdge = 0.0;
  bool BandPassBypass = false;
  // The band-pass's own calibrated length. The CW/RTTY reducer designs with a length of its
  // own (BandPassDesign with a tap count) and never writes this one, so the band-pass always
  // filters with the length its calibration chose.
  int32_t BandPassTapCount = 1000;
  bool BandPassCalibrated = false;
};

// Band edges from centre and width (cut to 100..3900 Hz), then BandPassDesign.
void BandPassSetup(DspState& dsp);
// Designs the band BandLowerEdge..BandUpperEdge into the kernel with BandPassTapCount taps.
void BandPassDesign(DspState& dsp);
// Same design with a length of the caller's own (the CW/RTTY reducer's band-pass stage).
void BandPassDesign(DspState& dsp, int32_t tapCount);
void BandPassStep(DspState& dsp);
void BandPassCalibrate(DspState& dsp, Clock& clock);

}  // namespace velunda
