#include "dsp/rejecteur_par_tfd.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/dsp_state.hpp"
#include "platform/clock.hpp"

namespace velunda {

namespace {

// Fills one table: set i is centred on 50 * (i + 2) Hz with the band f1..f2 removed.
// The edges are the centre plus the two offsets, the lower one raised to lowestEdge.
void DesignNotchTable(DspState& dsp, std::array<int32_t, kNotchSets * kNotchSetLength>& table,
                      double lowerOffset, double upperOffset, double lowestEdge) {
  constexpr double kPi = std::numbers::pi;
  RejecteurState& r = dsp.Rejecteur;
  const double period = 1.0 / dsp.SampleRate;
  const int32_t length = r.NotchLength;
  const int32_t pairs = std::clamp(length / 2, 0, kNotchSetLength);

  // The all-pass term and the window do not depend on the centre.
  std::array<double, kNotchSetLength> allPass{};
  std::array<double, kNotchSetLength> window{};
  for (int32_t k = 0; k < pairs; ++k) {
    const double t = k + 0.5;
    allPass[k] = std::sin(2.0 * kPi * t * period * r.NotchNyquist) / (kPi * t);
    window[k] = 0.54 + 0.46 * std::cos(2.0 * kPi * t / length);
  }
  for (int32_t centreIndex = 2; centreIndex <= 66; ++centreIndex) {
    const double centre = 50.0 * centreIndex;
    const double f1 = std::max(centre + lowerOffset, lowestEdge);
    const double f2 = centre + upperOffset;
    int32_t* set = table.data() + (centreIndex - 2) * kNotchSetLength;
    for (int32_t k = 0; k < pairs; ++k) {
      const double t = k + 0.5;
      const double ideal = allPass[k] - std::sin(2.0 * kPi * t * period * f2) / (kPi * t) +
                           std::sin(2.0 * kPi * t * period * f1) / (kPi * t);
      const int32_t c = static_cast<int32_t>(std::nearbyint(ideal * window[k] * 100000.0));
      set[k] = c;
      dsp.Fir.coefficients[static_cast<size_t>(k)] = c;
    }
  }
}

// Copies the first L/2 coefficients of set `centreIndex` - 2 of the table NotchWide selects.
void CopyNotchSet(DspState& dsp, int32_t centreIndex) {
  RejecteurState& r = dsp.Rejecteur;
  const int32_t set = std::clamp(centreIndex, 2, 66) - 2;
  const auto& table = r.NotchWide == 1 ? r.WideNotchTable : r.NarrowNotchTable;
  const int32_t pairs = std::clamp(r.NotchLength / 2, 0, kNotchSetLength);
  std::copy_n(table.begin() + set * kNotchSetLength, pairs, dsp.Fir.coefficients.begin());
}

void TakeDecision(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  const int32_t last = dsp.Transform.TransformSize / 2 + 1;
  FindPowerPeak(dsp);
  r.MeanPeakPower = r.PeakPower / r.BlocksPerDecision;
  if (r.MeanPeakPower > r.NotchThreshold) {
    r.CarrierFound = 1;
    const int32_t f =
        static_cast<int32_t>((int64_t{r.BinWidth} * (int32_t{r.PeakPosition} - 1)) / 1000);
    int32_t index = f / 50;
    if (f % 50 > 25) {
      index += 1;
    }
    index = std::clamp(index, 2, 66);
    r.NotchIndex = static_cast<uint8_t>(index);
    r.NotchFrequency = 50.0 * index;
  } else {
    r.CarrierFound = 0;
  }
  r.DecisionMade = 1;
  r.BlockCounter = 0;
  std::fill(r.PowerAccumulator.begin() + 1, r.PowerAccumulator.begin() + last + 1, 0);
  if (r.CarrierFound == 1) {
    CopyNotchSet(dsp, r.NotchIndex);
  }
  if (r.DecisionCount < r.Decisions.size()) {
    r.Decisions[r.DecisionCount] = {r.StepCount, r.CarrierFound == 1,
                                    static_cast<int32_t>(std::nearbyint(r.NotchFrequency))};
    ++r.DecisionCount;
  }
}

// Windowed transform of the collected block, folded into the power accumulator.
void TransformBlock(DspState& dsp) {
  TransformPrepare(dsp.Transform);
  ForwardTransform(dsp.Transform);
  ComputeBinWidth(dsp);
  AccumulatePower(dsp);
}

// Sets the transform size for a detection of `points` points and initialises it.
void InitDetectionTransform(DspState& dsp, int32_t points) {
  dsp.Transform.TransformSize = static_cast<uint16_t>(points);
  TransformInit(dsp.Transform);
  dsp.Rejecteur.BlockDuration = (1000000000 / dsp.SampleRate) * points;
}

// One calibration probe: `runs` steps and one detection pass on a constant block.
uint32_t TimeProbe(DspState& dsp, Clock& clock, int32_t runs) {
  const uint32_t start = clock.NowMs();
  for (int32_t i = 0; i < runs; ++i) {
    RejectorStep(dsp);
  }
  const int32_t n = dsp.Transform.TransformSize;
  std::fill_n(dsp.Transform.TimeBlock.begin(), n, ScaleDetectionSample(200));
  TransformBlock(dsp);
  FindPowerPeak(dsp);
  return clock.NowMs() - start;
}

// NotchLength from a probe of `runs` samples that took e ms.
int32_t NotchLengthFromProbe(int32_t length, uint32_t e, int32_t sampleRate, int32_t runs) {
  const int64_t d = ((int64_t{e} + 1) * sampleRate) / runs;
  if (d <= 0) {
    return 1000;
  }
  return static_cast<int32_t>(((int64_t{length} * 250) / d) * 2);
}

}  // namespace

int32_t ScaleDetectionSample(uint8_t x) { return ((10 * int32_t{x} - 1275) * 2000) / 1275; }

void ComputeBinWidth(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  const int32_t hundredth = r.BlockDuration / 100;
  r.BinWidth = hundredth > 0 ? (2000000000 / hundredth) * 5 : 0;
}

void AccumulatePower(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  const TransformState& t = dsp.Transform;
  const int32_t last = t.TransformSize / 2 + 1;
  for (int32_t k = 1; k <= last; ++k) {
    const uint32_t re = static_cast<uint32_t>(t.SpectrumRe[k - 1]);
    const uint32_t im = static_cast<uint32_t>(t.SpectrumIm[k - 1]);
    r.PowerAccumulator[k] =
        static_cast<int32_t>(static_cast<uint32_t>(r.PowerAccumulator[k]) + re * re + im * im);
  }
}

void FindPowerPeak(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  const int32_t last = dsp.Transform.TransformSize / 2 + 1;
  r.PeakPower = 1;
  for (int32_t k = 2; k <= last; ++k) {
    if (r.PowerAccumulator[k] > r.PeakPower) {
      r.PeakPower = r.PowerAccumulator[k];
      r.PeakPosition = static_cast<uint16_t>(k);
    }
  }
}

void NotchDesignNarrow(DspState& dsp) {
  DesignNotchTable(dsp, dsp.Rejecteur.NarrowNotchTable, -50.0, 50.0, 0.0);
}

void NotchDesignWide(DspState& dsp) {
  DesignNotchTable(dsp, dsp.Rejecteur.WideNotchTable, -150.0, 150.0, 25.0);
}

void NotchLoadSet(DspState& dsp) {
  const int32_t index = static_cast<int32_t>(std::nearbyint(dsp.Rejecteur.NotchFrequency)) / 50;
  CopyNotchSet(dsp, index % 256);
}

void NotchStart(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  FirHistoryClear(dsp.Fir.delay);
  dsp.Fir.pairCount = static_cast<uint16_t>(std::clamp(r.NotchLength / 2, 0, kNotchSetLength));
  if (r.NotchAuto == 0) {
    NotchLoadSet(dsp);
  } else {
    r.DecisionMade = 0;
  }
}

void RejectorStep(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  TransformState& t = dsp.Transform;
  const uint8_t x = dsp.CurrentSample;
  const int32_t n = t.TransformSize;
  if (r.NotchAuto == 1 && r.DetectionCounter >= 1 && r.DetectionCounter <= n) {
    t.TimeBlock[r.DetectionCounter - 1] = ScaleDetectionSample(x);
    r.DetectionCounter += 1;
    if (r.DetectionCounter == n + 1) {
      TransformBlock(dsp);
      r.DetectionCounter = 1;
      r.BlockCounter += 1;
    }
    if (r.BlockCounter == r.BlocksPerDecision) {
      TakeDecision(dsp);
    }
  }
  dsp.CurrentSample = FirOutputByte(SymmetricFirFilter(dsp.Fir, x));
  ++r.StepCount;
}

void RejectorCalibrate(DspState& dsp, Clock& clock) {
  RejecteurState& r = dsp.Rejecteur;
  dsp.SampleRate = r.RejectorSampleRate;
  dsp.Transform.WindowEnabled = true;
  if (r.RejectorCalibrated) {
    return;
  }
  r.RejectorCalibrated = true;
  r.NotchFrequency = 1000.0;
  NotchStart(dsp);

  dsp.CurrentSample = 255;
  const uint32_t start = clock.NowMs();
  for (int i = 0; i < 100; ++i) {
    RejectorStep(dsp);
  }
  const uint32_t e = clock.NowMs() - start;
  r.DetectionDivisor = e < 32 ? 1 : (e < 75 ? 2 : 4);

  InitDetectionTransform(dsp, 128 / r.DetectionDivisor);
  const uint32_t shortProbe = TimeProbe(dsp, clock, 128);
  if (shortProbe >= 46) {
    r.NotchLength = NotchLengthFromProbe(r.NotchLength, shortProbe, dsp.SampleRate, 128);
  } else {
    InitDetectionTransform(dsp, 512 / r.DetectionDivisor);
    const uint32_t longProbe = TimeProbe(dsp, clock, 512);
    r.NotchLength = NotchLengthFromProbe(r.NotchLength, longProbe, dsp.SampleRate, 512);
  }
  // Never above the tables' 1000 taps; never below 2, the shortest filter that still filters.
  r.NotchLength = std::clamp(r.NotchLength, 2, 1000);
  NotchStart(dsp);

  // The probes' power must not weigh on the first real decision.
  r.PowerAccumulator.fill(0);
  r.DetectionCounter = 1;
  r.BlockCounter = 0;
}

void PrepareNotchTables(DspState& dsp, Clock& clock) {
  RejecteurState& r = dsp.Rejecteur;
  if (r.NotchTablesReady) {
    return;
  }
  dsp.SampleRate = r.RejectorSampleRate;
  NotchDesignNarrow(dsp);
  NotchDesignWide(dsp);
  RejectorCalibrate(dsp, clock);
  r.NotchTablesReady = true;
}

void PrepareRejectorRun(DspState& dsp) {
  RejecteurState& r = dsp.Rejecteur;
  dsp.Transform.WindowEnabled = true;
  const int32_t divisor = r.DetectionDivisor > 0 ? r.DetectionDivisor : 1;
  InitDetectionTransform(dsp, 2048 / divisor);
  r.CarrierFound = 0;
  NotchStart(dsp);
  r.DetectionCounter = 1;
  r.BlockCounter = 0;
  r.BlocksPerDecision = 2;
}

}  // namespace velunda
