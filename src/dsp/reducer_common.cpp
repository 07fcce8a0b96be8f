#include "dsp/reducer_common.hpp"

#include <cstring>

namespace velunda {

AdaptiveResult AdaptiveStage(ReducerShared& shared, int32_t* history, int32_t* weights,
                             int32_t taps, int32_t numerator) {
  constexpr int32_t S = ReducerScale;
  const int32_t q = shared.PowerWindow;
  const int32_t x = shared.ReducerInput;

  // Age the history; history[0] is the newest input.
  std::memmove(history + 1, history, static_cast<size_t>(q - 1) * sizeof(int32_t));
  history[0] = x;

  // Mean power over the window, on the byte scale, never below 1.
  uint32_t sumSquares = 0;
  for (int32_t i = 0; i < q; ++i) {
    const uint32_t h = static_cast<uint32_t>(history[i]);
    sumSquares += h * h;
  }
  int32_t p = static_cast<int32_t>(sumSquares) / q;
  p = (p / S) / S;
  p = p + 1;
  shared.ReducerPower = p;

  // Estimate of the current input, clamped to the scale.
  uint32_t sum = 0;
  for (int32_t i = 0; i < taps; ++i) {
    sum += static_cast<uint32_t>(history[i]) * static_cast<uint32_t>(weights[i]);
  }
  int32_t y = static_cast<int32_t>(sum) / (255 * S);
  if (y > 255 * S) {
    y = 255 * S;
  } else if (y < -255 * S) {
    y = -255 * S;
  }

  // Normalised step; a zero step still moves by the raw error.
  const int32_t error = x - y;
  int32_t g = WrapMul(numerator / p, error);
  if (g == 0) {
    g = error;
  }

  // Leaky update: weights shrink by ReducerLeak/256 each sample.
  for (int32_t i = 0; i < taps; ++i) {
    const int32_t d = WrapMul(history[i], g) / (S * 32640);
    weights[i] = WrapMul(WrapAdd(d, weights[i]), ReducerLeak) / 256;
  }
  return {y, g};
}

}  // namespace velunda
