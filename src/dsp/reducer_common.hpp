#pragma once
#include <cstdint>

namespace velunda {

// The internal sample scale of both noise reducers is ReducerScale times the FIR scale.
inline constexpr int32_t ReducerScale = 10;
inline constexpr int32_t ReducerLeak = 250;

// State the general and the CW/RTTY reducers share.
struct ReducerShared {
  int32_t ReducerInput = 0;  // x: the current input in the internal scale
  int32_t ReducerPower = 0;  // p: the normalising power of the current sample
  int32_t PowerWindow = 40;  // Q: set by the general reducer's set-up, read by both
};

// 32-bit arithmetic with wrap-around, as the reducers rely on it (no signed overflow).
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Byte to the reducers' scale: S * (2s - 255).
inline int32_t ReducerScaleSample(uint8_t s) {
  return 2 * static_cast<int32_t>(s) * ReducerScale - 255 * ReducerScale;
}

// Reducers' scale back to a byte, clipped to 0..255.
inline uint8_t ReducerOutputSample(int32_t y) {
  if (y > 255 * ReducerScale) {
    return 255;
  }
  if (y < -255 * ReducerScale) {
    return 0;
  }
  return static_cast<uint8_t>((255 * ReducerScale + y) / (2 * ReducerScale));
}

struct AdaptiveResult {
  int32_t estimate;    // y, clamped to the scale
  int32_t correction;  // g, the error term of the update
};

// The normalised, leaky LMS stage shared by both reducers. `history` (newest first) holds at
// least shared.PowerWindow entries and `weights` `taps` entries. Ages the history with
// shared.ReducerInput, sets shared.ReducerPower, and adapts the weights with
// (numerator div power) as step size.
AdaptiveResult AdaptiveStage(ReducerShared& shared, int32_t* history, int32_t* weights,
                             int32_t taps, int32_t numerator);

}  // namespace velunda
