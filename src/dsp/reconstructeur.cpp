#include "dsp/reconstructeur.hpp"

#include <cmath>
#include <numbers>

#include "dsp/dsp_state.hpp"

namespace velunda {

namespace {

constexpr int32_t kMaxPoints = 2048;

// Points actually used: TransformSize, never beyond the arrays.
int32_t Points(const TransformState& t) {
  return t.TransformSize > kMaxPoints ? kMaxPoints : t.TransformSize;
}

// 32-bit wrap-around of a wider intermediate.
inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// The butterflies of both directions: sign -1 for the forward twiddle e^(-i), +1 inverse.
void Butterflies(TransformState& t, int64_t sign) {
  const int32_t n = Points(t);
  int32_t* re = t.SpectrumRe.data();
  int32_t* im = t.SpectrumIm.data();
  for (int32_t s = 1; s <= t.StageCount; ++s) {
    const int32_t groups = t.StageSizes[t.StageCount - s];
    const int32_t half = t.StageSizes[s - 1];
    for (int32_t g = 0; g < groups; ++g) {
      const int32_t base = (g * n) / groups;
      for (int32_t j = 0; j < half; ++j) {
        const int32_t idx = ((j * 36000) / (2 * half)) % 36000;
        const int64_t cw = t.CosineTable[idx];
        const int64_t sw = t.SineTable[idx];
        const int32_t a = base + j;
        const int32_t b = a + half;
        if (b >= kMaxPoints) {
          continue;
        }
        // Forward: (re·cw + im·sw, im·cw − re·sw); inverse: the conjugate twiddle.
        const int32_t tr = Wrap32((re[b] * cw - sign * im[b] * sw) / 200);
        const int32_t ti = Wrap32((im[b] * cw + sign * re[b] * sw) / 200);
        re[b] = Wrap32(int64_t{re[a]} - tr);
        im[b] = Wrap32(int64_t{im[a]} - ti);
        re[a] = Wrap32(int64_t{re[a]} + tr);
        im[a] = Wrap32(int64_t{im[a]} + ti);
      }
    }
  }
}

}  // namespace

void TransformInit(TransformState& t) {
  constexpr double kPi = std::numbers::pi;
  t.BitReverse.fill(0);
  t.SpectrumRe.fill(0);
  for (int32_t i = 0; i < 16; ++i) {
    t.StageSizes[i] = static_cast<uint16_t>(1u << i);
  }
  for (int32_t i = 0; i <= 36000; ++i) {
    const double theta = i * kPi * (1.0 / 180.0) * 0.01;
    t.CosineTable[i] = static_cast<int32_t>(std::nearbyint(std::cos(theta) * 200.0));
    t.SineTable[i] = static_cast<int32_t>(std::nearbyint(std::sin(theta) * 200.0));
  }
  for (uint8_t l = 1; l <= 15; ++l) {
    if (t.TransformSize == (1u << l)) {
      t.StageCount = l;
    }
  }
  // Bit reversal by doubling; stages that would reach past the table are not run.
  for (int32_t s = 0; s < t.StageCount; ++s) {
    const int32_t m = 1 << s;
    if (2 * m > kMaxPoints) {
      break;
    }
    for (int32_t i = 0; i < m; ++i) {
      const uint16_t doubled = static_cast<uint16_t>(t.BitReverse[i] * 2);
      t.BitReverse[i] = doubled;
      t.BitReverse[i + m] = static_cast<uint16_t>(doubled + 1);
    }
  }
  if (t.WindowEnabled) {
    const int32_t n = Points(t);
    for (int32_t i = 0; i < n; ++i) {
      const double q = (i - (n - 1) * 0.5) / (n - 1);
      t.AnalysisWindow[i] = 0.54 + 0.46 * std::cos(2.0 * kPi * q);
    }
  }
}

void TransformPrepare(TransformState& t) {
  const int32_t n = Points(t);
  for (int32_t i = 0; i < n; ++i) {
    t.SpectrumIm[i] = 0;
  }
  if (t.WindowEnabled) {
    for (int32_t i = 0; i < n; ++i) {
      t.TimeBlock[i] = static_cast<int32_t>(std::nearbyint(t.AnalysisWindow[i] * t.TimeBlock[i]));
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    const uint16_t r = t.BitReverse[i];
    if (r < kMaxPoints) {
      t.SpectrumRe[r] = t.TimeBlock[i];
    }
  }
}

void ForwardTransform(TransformState& t) {
  Butterflies(t, -1);
  const int32_t n = Points(t);
  for (int32_t k = 0; k < n; ++k) {
    t.SpectrumRe[k] /= n;
    t.SpectrumIm[k] /= n;
  }
}

void InverseTransform(TransformState& t) { Butterflies(t, +1); }

}  // namespace velunda
