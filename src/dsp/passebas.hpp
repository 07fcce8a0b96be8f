#pragma once
#include <array>
#include <cstdint>

#include "dsp/fir_kernel.hpp"

namespace velunda {

struct DspState;
class Clock;

// The one program-wide symmetric FIR kernel, used in turn by the low-pass, the band-pass
// and the rejector. Whoever designs or loads coefficients also clears the history.
// A filter with a history of its own (the CW/RTTY reducer's band-pass stage) keeps a
// FirHistory and runs FirHistoryPush + FirPairSum on it with the kernel's coefficients.
struct SymmetricFir {
  ByteFirHistory delay;          // internal scale 2*s - 255, only ever from bytes
  FirCoefficients coefficients;  // half of the impulse response, scaled by 100000
  uint16_t pairCount = 0;        // H: tap count / 2
  int32_t accumulator = 0;
};

// Sum over k < pairCount of coefficients[k] * (delay[H-1-k] + delay[H+k]) in 32-bit
// wrap-around arithmetic (the exact int32 result, overflow included). pairCount <= 500.
int32_t FirPairSum(const FirHistory& h, const FirCoefficients& coefficients, uint16_t pairCount);

// One filtering step of the kernel on byte s: delay[0] := 2s - 255; accumulator := pair
// sum / 100000 (truncating); ages the history. Returns the accumulator. The pair sums are
// those of `kernel` (tests name one; the filters use the active one).
int32_t SymmetricFirFilter(SymmetricFir& fir, uint8_t s,
                           const FirKernelVariant& kernel = ActiveFirKernel());

// One step of a fixed FIR filter on a byte: with `bypass` the byte passes unchanged and only
// delay[0] takes it (the history does not age); otherwise it is filtered and clipped.
uint8_t FixedFirStep(SymmetricFir& fir, uint8_t sample, bool bypass);

// `count` unbypassed FixedFirStep calls, from input[i] to output[i], with the same bytes,
// history and accumulator afterwards; several samples share each pass over the coefficients.
void FixedFirBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count);
void FixedFirBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count,
                   const FirKernelVariant& kernel);
// `count` bypassed FixedFirStep calls: the bytes copied, delay[0] the last of them.
void FixedFirBypassBlock(SymmetricFir& fir, const uint8_t* input, uint8_t* output, int32_t count);

// Internal scale of the fixed FIR filters: byte s enters as 2s - 255.
inline int32_t FirInputValue(uint8_t s) { return 2 * static_cast<int32_t>(s) - 255; }
// A result leaves as 255 above +255, 0 below -255, else (y + 255) div 2.
inline uint8_t FirOutputByte(int32_t y) {
  if (y > 255) {
    return 255;
  }
  if (y < -255) {
    return 0;
  }
  return static_cast<uint8_t>((y + 255) / 2);
}

// Windowed-sinc design into the kernel: clears the history, pairCount := tapCount div 2,
// coefficients of the band lowerEdge..upperEdge (lowerEdge 0 for a low-pass). tapCount is
// clamped to 0..1000.
void SymmetricFirDesign(SymmetricFir& fir, int32_t tapCount, int32_t sampleRate, double lowerEdge,
                        double upperEdge);

struct PasseBasState {
  double LowPassCutoff = 1000.0;
  bool LowPassBypass = false;
  int32_t LowPassTapCount = 1000;
  bool LowPassCalibrated = false;
};

void LowPassDesign(DspState& dsp);
void LowPassStep(DspState& dsp);
void LowPassCalibrate(DspState& dsp, Clock& clock);

// Shared by both calibrations: the tap count that aims the load at 500 ms per second of
// audio, from the current count and d (ms per second of audio); even, 2..1000.
int32_t CalibratedTapCount(int32_t tapCount, int64_t d);
// Sets CurrentSample to 255, times 100 steps and, under thresholdMs, 500 more; returns d,
// the milliseconds one second of audio costs at dsp.SampleRate.
int64_t MeasureMsPerSecond(DspState& dsp, Clock& clock, void (*step)(DspState&),
                           uint32_t thresholdMs);

}  // namespace velunda
