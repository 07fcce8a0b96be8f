#pragma once
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace velunda::test {

// The kernel as worded: a linear history shifted in place, the pair sum in 32-bit wrap-around
// arithmetic. The reference the ring-buffer kernel is checked against.
struct NaiveFir {
  std::array<int32_t, 1000> delay{};
  std::array<int32_t, 500> coefficients{};
  int32_t pairs = 0;
  int32_t taps = 0;

  uint8_t Step(uint8_t s) {
    delay[0] = 2 * int32_t{s} - 255;
    uint32_t acc = 0;
    for (int32_t k = 0; k < pairs; ++k) {
      acc +=
          (static_cast<uint32_t>(delay[pairs - 1 - k]) + static_cast<uint32_t>(delay[pairs + k])) *
          static_cast<uint32_t>(coefficients[k]);
    }
    const int32_t y = static_cast<int32_t>(acc) / 100000;
    for (int32_t i = taps - 2; i >= 0; --i) {
      delay[i + 1] = delay[i];
    }
    if (y > 255) {
      return 255;
    }
    if (y < -255) {
      return 0;
    }
    return static_cast<uint8_t>((y + 255) / 2);
  }

  uint8_t Bypass(uint8_t s) {
    delay[0] = 2 * int32_t{s} - 255;
    return static_cast<uint8_t>((delay[0] + 255) / 2);
  }
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> v(n);
  for (auto& b : v) {
    b = static_cast<uint8_t>(byte(gen));
  }
  return v;
}

}  // namespace velunda::test
