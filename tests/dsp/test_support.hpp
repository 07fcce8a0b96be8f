#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "common/clocks.hpp"
#include "dsp/dsp_state.hpp"

namespace velunda::test {

inline constexpr double kPi = std::numbers::pi;

using common::StepClock;

// The kernel as worded: a linear history shifted in place, the pair sum in 32-bit wrap-around.
// `wrapped` counts the sums whose exact value left the int32 range.
struct NaiveFir {
  std::array<int32_t, 1000> delay{};
  std::array<int32_t, 500> coefficients{};
  int32_t pairs = 0;
  int32_t accumulator = 0;
  int64_t wrapped = 0;

  uint8_t Step(uint8_t s, bool bypass) {
    delay[0] = 2 * int32_t{s} - 255;
    if (bypass) {
      return s;
    }
    uint32_t acc = 0;
    int64_t exact = 0;
    for (int32_t k = 0; k < pairs; ++k) {
      const int64_t v = int64_t{delay[pairs - 1 - k]} + delay[pairs + k];
      acc += static_cast<uint32_t>(v) * static_cast<uint32_t>(coefficients[k]);
      exact += v * coefficients[k];
    }
    wrapped += exact != static_cast<int32_t>(acc) ? 1 : 0;
    accumulator = static_cast<int32_t>(acc) / 100000;
    std::copy_backward(delay.begin(), delay.begin() + 2 * pairs - 1, delay.begin() + 2 * pairs);
    const int32_t y = accumulator;
    return y > 255 ? 255 : (y < -255 ? 0 : static_cast<uint8_t>((y + 255) / 2));
  }
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> v(n);
  std::generate(v.begin(), v.end(), [&] { return static_cast<uint8_t>(byte(gen)); });
  return v;
}

// Bytes of a tone of `amplitude` (in bytes) around 127.5 at `freq` Hz.
inline std::vector<uint8_t> ToneBytes(double freq, double amplitude, int32_t rate, size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    const double s = 127.5 + amplitude * std::sin(2.0 * kPi * freq * i / rate);
    v[i] = static_cast<uint8_t>(std::clamp(std::nearbyint(s), 0.0, 255.0));
  }
  return v;
}

// Passes `input` through a per-sample step; the kernel's accumulator after each sample goes
// to `acc` when given.
inline std::vector<uint8_t> Run(DspState& dsp, void (*step)(DspState&),
                                const std::vector<uint8_t>& input,
                                std::vector<double>* acc = nullptr) {
  std::vector<uint8_t> out;
  for (uint8_t s : input) {
    dsp.CurrentSample = s;
    step(dsp);
    out.push_back(dsp.CurrentSample);
    if (acc != nullptr) {
      acc->push_back(dsp.Fir.accumulator);
    }
  }
  return out;
}

// Attenuation in dB of the `hz` component from the input bytes (as 2s - 255) to the
// accumulator, from sample `from` on. Infinite once the residual is under a tenth of a unit:
// there the truncating kernel is at its arithmetic's floor.
inline double AttenuationDb(const std::vector<uint8_t>& in, const std::vector<double>& acc,
                            size_t from, double hz, int32_t rate) {
  std::complex<double> a = 0;
  std::complex<double> b = 0;
  for (size_t i = from; i < in.size(); ++i) {
    const auto w = std::polar(1.0, -2 * kPi * hz * i / rate);
    a += (2.0 * in[i] - 255) * w;
    b += acc[i] * w;
  }
  const double n = static_cast<double>(in.size() - from);
  return std::abs(b) / n < 0.1 ? INFINITY : 20 * std::log10(std::abs(a) / std::abs(b));
}

}  // namespace velunda::test
