#pragma once
// Test input for whole sessions: two tones and some noise, well inside the byte range, so that
// every filter has something to change and nothing clips.
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

}  // namespace velunda::common
