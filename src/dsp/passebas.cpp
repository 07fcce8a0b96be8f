#include "dsp/passebas.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/dsp_state.hpp"
#include "platform/clock.hpp"

namespace velunda {

namespace {

// The pointers to the two halves of the pair sum at the history's current position.
void Halves(const ByteFirHistory& h, int32_t n, const int16_t*& newer, const int16_t*& older) {
  newer = FirNewerHalf(h, n);
  older = FirOlderHalf(h, n);
}

int32_t Accumulate(uint32_t sum) { return static_cast<int32_t>(sum) / 100000; }

}  // namespace

int32_t FirPairSum(const FirHistory& h, const FirCoefficients& coefficients, uint16_t pairCount) {
  const int32_t n = std::min<int32_t>(pairCount, kFirMaxPairs);
  return static_cast<int32_t>(
      PairSumMod32(FirNewerHalf(h, n), FirOlderHalf(h, n), coefficients.values().data(), n));
}

int32_t SymmetricFirFilter(SymmetricFir& fir, uint8_t s, const FirKernelVariant& kernel) {
  const int32_t n = std::min<int32_t>(fir.pairCount, kFirMaxPairs);
  const FirSplit& split = fir.coefficients.SplitFor(n);
  FirHistorySetNewest(fir.delay, FirInputValue(s));
  const int16_t* newer = nullptr;
  const int16_t* older = nullptr;
  Halves(fir.delay, n, newer, older);
  uint32_t sum = 0;
  kernel.one(&newer, &older, split, &sum);
  fir.accumulator = Accumulate(sum);
  FirHistoryAge(fir.delay);
  return fir.accumulator;
}

void FixedFirBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count,
                   const FirKernelVariant& kernel) {
  constexpr int kRows = 4;
  constexpr int32_t kC = ByteFirHistory::kCapacity;
  const int32_t n = std::min<int32_t>(fir.pairCount, kFirMaxPairs);
  const FirSplit& split = fir.coefficients.SplitFor(n);
  const FirPairSums16 four = kernel.four;
  // The history's positions and the accumulator in locals: the output bytes could alias them.
  ByteFirHistory& h = fir.delay;
  int16_t* const newestFirst = h.newestFirst.data();
  int16_t* const oldestFirst = h.oldestFirst.data();
  int32_t p = h.newestPos;
  int32_t q = h.oldestPos;
  int32_t accumulator = fir.accumulator;
  const auto write = [&](int16_t x) {
    newestFirst[p] = x;
    newestFirst[p + kC] = x;
    oldestFirst[q] = x;
    oldestFirst[q - kC] = x;
  };
  const auto advance = [&] {
    p = p == 0 ? kC - 1 : p - 1;
    q = q == 2 * kC - 1 ? kC : q + 1;
  };
  int32_t i = 0;
  for (; i + kRows <= count; i += kRows) {
    // The four samples go in ahead of their sums: the ring has room past the 1000 entries
    // the first of them reads.
    const int16_t* newer[kRows];
    const int16_t* older[kRows];
    int16_t x = 0;
    for (int r = 0; r < kRows; ++r) {
      if (r > 0) {
        advance();
      }
      x = static_cast<int16_t>(FirInputValue(input[i + r]));
      write(x);
      newer[r] = oldestFirst + (q - n + 1);
      older[r] = newestFirst + (p + n);
    }
    uint32_t sums[kRows];
    four(newer, older, split, sums);
    for (int r = 0; r < kRows; ++r) {
      accumulator = Accumulate(sums[r]);
      output[i + r] = FirOutputByte(accumulator);
    }
    // Aged as after a single step: delay[0] keeps the last sample.
    advance();
    write(x);
  }
  h.newestPos = p;
  h.oldestPos = q;
  fir.accumulator = accumulator;
  for (; i < count; ++i) {
    output[i] = FirOutputByte(SymmetricFirFilter(fir, input[i], kernel));
  }
}

void FixedFirBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count) {
  FixedFirBlock(fir, input, output, count, ActiveFirKernel());
}

void FixedFirBypassBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count) {
  if (count <= 0) {
    return;
  }
  std::memmove(output, input, static_cast<size_t>(count));
  FirHistorySetNewest(fir.delay, FirInputValue(output[count - 1]));
}

void SymmetricFirDesign(SymmetricFir& fir, int32_t tapCount, int32_t sampleRate, double lowerEdge,
                        double upperEdge) {
  constexpr double kPi = std::numbers::pi;
  const int32_t n = std::clamp(tapCount, 0, kFirMaxTaps);
  FirHistoryClear(fir.delay);
  const int32_t pairs = n / 2;
  fir.pairCount = static_cast<uint16_t>(pairs);
  if (sampleRate <= 0) {
    // No rate, no response: a silent filter rather than NaN coefficients.
    std::fill_n(fir.coefficients.begin(), pairs, 0);
    return;
  }
  const double fe = sampleRate;
  for (int32_t k = 0; k < pairs; ++k) {
    const double t = k + 0.5;
    const double ideal = std::sin(2.0 * kPi * t * (1.0 / fe) * upperEdge) / (kPi * t) -
                         std::sin(2.0 * kPi * t * (1.0 / fe) * lowerEdge) / (kPi * t);
    const double window = 0.54 + 0.46 * std::cos(2.0 * kPi * t / n);
    fir.coefficients[k] = static_cast<int32_t>(std::nearbyint(ideal * window * 100000.0));
  }
}

void LowPassDesign(DspState& dsp) {
  SymmetricFirDesign(dsp.Fir, dsp.PasseBas.LowPassTapCount, dsp.SampleRate, 0.0,
                     dsp.PasseBas.LowPassCutoff);
}

uint8_t FixedFirStep(SymmetricFir& fir, uint8_t sample, bool bypass) {
  if (bypass) {
    FirHistorySetNewest(fir.delay, FirInputValue(sample));
    return sample;
  }
  return FirOutputByte(SymmetricFirFilter(fir, sample));
}

void LowPassStep(DspState& dsp) {
  dsp.CurrentSample = FixedFirStep(dsp.Fir, dsp.CurrentSample, dsp.PasseBas.LowPassBypass);
}

int32_t CalibratedTapCount(int32_t tapCount, int64_t d) {
  if (d <= 0) {
    return kFirMaxTaps;
  }
  const int64_t count = ((static_cast<int64_t>(tapCount) * 250) / d) * 2;
  // A very slow machine could compute 0 taps; 2 is the shortest filter that still filters.
  return static_cast<int32_t>(std::clamp<int64_t>(count, 2, kFirMaxTaps));
}

namespace {

// Times `runs` steps of full-scale input; milliseconds elapsed (wrap-safe).
uint32_t TimeSteps(DspState& dsp, Clock& clock, void (*step)(DspState&), int runs) {
  const uint32_t start = clock.NowMs();
  for (int i = 0; i < runs; ++i) {
    step(dsp);
  }
  return clock.NowMs() - start;
}

}  // namespace

// Shared by the band-pass calibration (threshold 38 ms there).
int64_t MeasureMsPerSecond(DspState& dsp, Clock& clock, void (*step)(DspState&),
                           uint32_t threshold) {
  dsp.CurrentSample = 255;
  const uint32_t e = TimeSteps(dsp, clock, step, 100);
  if (e >= threshold) {
    return ((static_cast<int64_t>(e) + 1) * dsp.SampleRate) / 100;
  }
  const uint32_t e2 = TimeSteps(dsp, clock, step, 500);
  return ((static_cast<int64_t>(e2) + 1) * dsp.SampleRate) / 500;
}

void LowPassCalibrate(DspState& dsp, Clock& clock) {
  dsp.PasseBas.LowPassCalibrated = true;
  LowPassDesign(dsp);
  const int64_t d = MeasureMsPerSecond(dsp, clock, LowPassStep, 35);
  dsp.PasseBas.LowPassTapCount = CalibratedTapCount(dsp.PasseBas.LowPassTapCount, d);
  LowPassDesign(dsp);
}

}  // namespace velunda
