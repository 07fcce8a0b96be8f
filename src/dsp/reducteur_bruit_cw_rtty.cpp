#include "dsp/reducteur_bruit_cw_rtty.hpp"

#include <cmath>
#include <cstring>

#include "dsp/dsp_state.hpp"

namespace velunda {

namespace {

struct ShapingRow {
  double firstFive[5];
  bool signChange;  // mirror positions 6..10 with a change of sign
};

// Shaping prototypes by (rate is 8000, mode).
constexpr ShapingRow kCw8000{{0.2598, 0.3938, 0.4117, 0.3083, 0.1139}, true};
constexpr ShapingRow kRtty8000{{0.4229, 0.2387, -0.1929, -0.4246, -0.2162}, true};
constexpr ShapingRow kCw11025{{0.3999, 0.4032, 0.3435, 0.2302, 0.0809}, true};
constexpr ShapingRow kRtty11025{{0.3936, 0.3806, 0.1502, -0.1661, -0.3874}, false};

}  // namespace

void CwReducerSetup(DspState& dsp) {
  ReducteurCwState& r = dsp.ReducteurCw;
  const bool at8000 = r.CwReducerSampleRate == 8000;
  const bool rtty = r.CwRttyMode != 0;
  const ShapingRow& row = at8000 ? (rtty ? kRtty8000 : kCw8000) : (rtty ? kRtty11025 : kCw11025);

  r.ShapingTaps = 10;
  double values[10];
  for (int i = 0; i < 5; ++i) {
    values[i] = row.firstFive[i];
  }
  for (int i = 5; i < 10; ++i) {
    values[i] = row.signChange ? -values[9 - i] : values[9 - i];
  }
  for (int i = 0; i < 10; ++i) {
    r.ShapingCoefficients[static_cast<size_t>(i)] =
        static_cast<int32_t>(std::nearbyint(values[i] * 10000.0));
  }

  r.CwBandTapCount = at8000 ? 34 : 46;
  PasseBandeState& band = dsp.PasseBande;
  if (rtty) {
    band.BandLowerEdge = 1060.0;
    band.BandUpperEdge = 1660.0;
  } else {
    band.BandLowerEdge = 400.0;
    band.BandUpperEdge = 1000.0;
  }
  BandPassDesign(dsp, r.CwBandTapCount);
}

void CwReducerStep(DspState& dsp) {
  ReducteurCwState& r = dsp.ReducteurCw;
  ReducerShared& shared = dsp.Reducteurs;
  shared.ReducerInput = ReducerScaleSample(dsp.CurrentSample);
  if (r.CwReductionOff) {
    return;
  }

  // Stage 1: the adaptive predictor at the weak setting (numerator 3 x 32512).
  int32_t y = AdaptiveStage(shared, r.CwHistory.data(), r.CwWeights.data(), r.CwReducerTaps, 97536)
                  .estimate;
  y = (y * 100) / 77;

  // Stage 2: shaping FIR.
  std::memmove(r.ShapingHistory.data() + 1, r.ShapingHistory.data(), 9 * sizeof(int32_t));
  r.ShapingHistory[0] = y;
  uint32_t shaped = 0;
  for (size_t i = 0; i < 10; ++i) {
    shaped += static_cast<uint32_t>(r.ShapingHistory[i]) *
              static_cast<uint32_t>(r.ShapingCoefficients[i]);
  }
  const int32_t rs = static_cast<int32_t>(shaped) / 10000;

  // Stage 3: symmetric band-pass FIR with the kernel's coefficients on our own history.
  FirHistoryPush(r.CwBandHistory, rs);
  const auto pairs = static_cast<uint16_t>(r.CwBandTapCount / 2);
  dsp.Fir.accumulator = FirPairSum(r.CwBandHistory, dsp.Fir.coefficients, pairs) / 100000;
  dsp.CurrentSample = ReducerOutputSample(dsp.Fir.accumulator);
}

}  // namespace velunda
