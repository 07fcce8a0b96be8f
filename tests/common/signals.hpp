#pragma once
// Test input for whole sessions: tones, and two tones with some noise, well inside the byte
// range, so that every filter has something to change and nothing clips.
#include <cmath>
#include <cstdint>
#include <vector>

namespace velunda::common {

inline std::vector<uint8_t> TonesAndNoise(size_t n, int32_t rate, uint32_t seed = 4321) {
  std::vector<uint8_t> s(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double t = static_cast<double>(i) / rate;
    const double v = 128.0 + 55.0 * std::sin(2 * M_PI * 700 * t) +
                     35.0 * std::sin(2 * M_PI * 1900 * t) +
                     static_cast<double>((seed >> 16) % 31) - 15.0;
    s[i] = static_cast<uint8_t>(std::nearbyint(v));
  }
  return s;
}

// A tone of `amplitude` (in bytes) around `centre`.
inline std::vector<uint8_t> Tone(double hz, int32_t rate, size_t n, double amplitude = 90,
                                 double centre = 128) {
  std::vector<uint8_t> s(n);
  for (size_t i = 0; i < n; ++i) {
    s[i] = static_cast<uint8_t>(std::nearbyint(
        centre + amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
  }
  return s;
}

// The same as values in -1..+1.
inline std::vector<double> ToneValues(double hz, double amplitude, int32_t rate, size_t n) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate);
  }
  return v;
}

}  // namespace velunda::common
