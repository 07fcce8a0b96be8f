#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace velunda::test {

// Bytes of a tone of `amplitude` (in bytes) around 127.5 at `freq` Hz.
inline std::vector<uint8_t> ToneBytes(double freq, double amplitude, int32_t rate, size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    const double s = 127.5 + amplitude * std::sin(2.0 * std::numbers::pi * freq * i / rate);
    v[i] = static_cast<uint8_t>(std::clamp(std::nearbyint(s), 0.0, 255.0));
  }
  return v;
}

// Amplitude of the `freq` component of bytes [from, end), by a least-squares fit.
inline double ToneAmplitude(const std::vector<uint8_t>& v, size_t from, double freq, int32_t rate) {
  double mean = 0.0;
  for (size_t i = from; i < v.size(); ++i) {
    mean += v[i];
  }
  mean /= static_cast<double>(v.size() - from);
  double ss = 0.0, cc = 0.0, sc = 0.0, ys = 0.0, yc = 0.0;
  for (size_t i = from; i < v.size(); ++i) {
    const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate;
    const double s = std::sin(w), c = std::cos(w), y = v[i] - mean;
    ss += s * s;
    cc += c * c;
    sc += s * c;
    ys += y * s;
    yc += y * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det;
  const double b = (yc * ss - ys * sc) / det;
  return std::hypot(a, b);
}

// |H(f)| of a symmetric design: half-response coefficients scaled by 100000.
inline double DesignGain(const std::array<int32_t, 500>& c, int32_t pairs, double freq,
                         int32_t rate) {
  double sum = 0.0;
  for (int32_t k = 0; k < pairs; ++k) {
    sum += 2.0 * c[k] * std::cos(2.0 * std::numbers::pi * freq * (k + 0.5) / rate);
  }
  return std::abs(sum) / 100000.0;
}

}  // namespace velunda::test
