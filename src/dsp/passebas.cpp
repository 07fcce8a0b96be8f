#include "dsp/passebas.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/dsp_state.hpp"
#include "platform/clock.hpp"

namespace velunda {

namespace {

constexpr int32_t kC = kFirMaxTaps;

// Writes delay[0] in both rings (each slot lives twice, at s and s + kC).
void WriteNewest(FirHistory& h, int32_t x) {
  const int32_t p = h.newestPos;
  h.newestFirst[p] = x;
  h.newestFirst[p + kC] = x;
  const int32_t q = h.oldestPos;
  h.oldestFirst[q] = x;
  h.oldestFirst[q - kC] = x;
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define VELUNDA_FIR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELUNDA_FIR_CLONES
#endif

using U32x8 = uint32_t __attribute__((vector_size(32)));

// (c[k] * (a[k] + b[k])) over 8 lanes, added into acc. By reference: vectors never cross
// a call boundary, so the clones keep one ABI.
inline void PairMac8(U32x8& acc, const int32_t* a, const int32_t* b, const int32_t* c) {
  U32x8 va;
  U32x8 vb;
  U32x8 vc;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  std::memcpy(&vc, c, sizeof vc);
  acc += (va + vb) * vc;
}

// Sum of c[k] * (a[k] + b[k]) for k < n, modulo 2^32. Unsigned lanes: every wrap is defined
// and the modular result is that of the 32-bit signed sum whatever the order.
VELUNDA_FIR_CLONES uint32_t PairSumMod32(const int32_t* a, const int32_t* b, const int32_t* c,
                                         int32_t n) {
  U32x8 acc0 = {};
  U32x8 acc1 = {};
  int32_t k = 0;
  for (; k + 16 <= n; k += 16) {
    PairMac8(acc0, a + k, b + k, c + k);
    PairMac8(acc1, a + k + 8, b + k + 8, c + k + 8);
  }
  acc0 += acc1;
  uint32_t sum = 0;
  for (int lane = 0; lane < 8; ++lane) {
    sum += acc0[lane];
  }
  for (; k < n; ++k) {
    sum +=
        (static_cast<uint32_t>(a[k]) + static_cast<uint32_t>(b[k])) * static_cast<uint32_t>(c[k]);
  }
  return sum;
}

}  // namespace

void FirHistoryClear(FirHistory& h) {
  h.newestFirst.fill(0);
  h.oldestFirst.fill(0);
  h.newestPos = 0;
  h.oldestPos = kC;
}

int32_t FirHistoryAt(const FirHistory& h, int32_t i) { return h.newestFirst[h.newestPos + i]; }

void FirHistorySetNewest(FirHistory& h, int32_t x) { WriteNewest(h, x); }

void FirHistoryAge(FirHistory& h) {
  const int32_t x = h.newestFirst[h.newestPos];
  h.newestPos = h.newestPos == 0 ? kC - 1 : h.newestPos - 1;
  h.oldestPos = h.oldestPos == 2 * kC - 1 ? kC : h.oldestPos + 1;
  WriteNewest(h, x);
}

void FirHistoryPush(FirHistory& h, int32_t x) {
  h.newestPos = h.newestPos == 0 ? kC - 1 : h.newestPos - 1;
  h.oldestPos = h.oldestPos == 2 * kC - 1 ? kC : h.oldestPos + 1;
  WriteNewest(h, x);
}

int32_t FirPairSum(const FirHistory& h, const std::array<int32_t, 500>& coefficients,
                   uint16_t pairCount) {
  const int32_t n = std::min<int32_t>(pairCount, kFirMaxPairs);
  // delay[H-1-k] ascends in the oldest-first ring, delay[H+k] in the newest-first one.
  const int32_t* newerHalf = h.oldestFirst.data() + (h.oldestPos - n + 1);
  const int32_t* olderHalf = h.newestFirst.data() + (h.newestPos + n);
  return static_cast<int32_t>(PairSumMod32(newerHalf, olderHalf, coefficients.data(), n));
}

int32_t SymmetricFirFilter(SymmetricFir& fir, int32_t x) {
  WriteNewest(fir.delay, x);
  fir.accumulator = FirPairSum(fir.delay, fir.coefficients, fir.pairCount) / 100000;
  FirHistoryAge(fir.delay);
  return fir.accumulator;
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
  const int32_t x = FirInputValue(sample);
  if (bypass) {
    FirHistorySetNewest(fir.delay, x);
    return FirOutputByte(x);
  }
  return FirOutputByte(SymmetricFirFilter(fir, x));
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
