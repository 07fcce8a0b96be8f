#include "dsp/reconstructeur.hpp"

#include <algorithm>
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

// ---- Digital BFO ----

namespace velunda {

namespace {

void SetBin(TransformState& t, int32_t k, int32_t re, int32_t im) {
  t.SpectrumRe[k] = re;
  t.SpectrumIm[k] = im;
}

void ClearBins(TransformState& t, int32_t first, int32_t last) {
  for (int32_t k = std::max(first, 0); k <= last && k < kMaxPoints; ++k) {
    SetBin(t, k, 0, 0);
  }
}

// (v · num) ÷ 10 in 32-bit wrap-around arithmetic.
int32_t Scale10(int32_t v, int32_t num) { return Wrap32(int64_t{Wrap32(int64_t{v} * num)} / 10); }

void ShiftUp(TransformState& t, int32_t s) {
  const int32_t n = Points(t);
  const int32_t h = n / 2;
  int32_t* re = t.SpectrumRe.data();
  int32_t* im = t.SpectrumIm.data();
  for (int32_t k = h; k >= 1; --k) {
    const int64_t target = int64_t{k} + s;
    if (target < h) {
      SetBin(t, static_cast<int32_t>(target), re[k], im[k]);
    } else if (target == h) {
      // Landing on the Nyquist bin: scaled by 14/10 and made real.
      SetBin(t, h, Scale10(re[k], 14), 0);
    }
  }
  ClearBins(t, 1, s);
  for (int32_t j = h + 1; j <= n - 1; ++j) {
    const int64_t target = int64_t{j} - s;
    if (target > h) {
      SetBin(t, static_cast<int32_t>(target), re[j], im[j]);
    }
  }
  ClearBins(t, n - s, n - 1);
}

void ShiftDown(TransformState& t, int32_t a) {
  const int32_t n = Points(t);
  const int32_t h = n / 2;
  int32_t* re = t.SpectrumRe.data();
  int32_t* im = t.SpectrumIm.data();
  for (int32_t k = 1; k <= h - 1; ++k) {
    if (k - a >= 0) {
      SetBin(t, k - a, re[k], im[k]);
    }
  }
  if (h - a >= 0) {
    SetBin(t, h - a, Scale10(re[h], 7), Scale10(im[h], 7));
  }
  ClearBins(t, h - a + 1, h);
  for (int32_t j = n - 1; j >= h + 1; --j) {
    if (int64_t{j} + a < n) {
      SetBin(t, j + a, re[j], im[j]);
    }
  }
  // Top of the negative half. Bins h+1 .. h+a-1 mirror the cleared h-a+1 .. h-1. Bins h+a
  // and h+a+1 take the conjugates of their mirrors h-a (7/10 of the old Nyquist value) and
  // h-a-1, so the spectrum stays that of a real signal: only the real part of the inverse
  // is kept, and clearing them would halve those two top components of the shifted band.
  ClearBins(t, h + 1, h + a - 1);
  for (int32_t top = h + a; top <= h + a + 1; ++top) {
    const int32_t mirror = n - top;
    if (top < n && mirror >= 0) {
      SetBin(t, top, re[mirror], Wrap32(-int64_t{im[mirror]}));
    }
  }
}

}  // namespace

void InvertSpectrum(TransformState& t) {
  const int32_t n = Points(t);
  const int32_t h = n / 2;
  const int32_t q = h / 2;
  const int32_t m = 3 * n / 4;
  int32_t* re = t.SpectrumRe.data();
  int32_t* im = t.SpectrumIm.data();
  int32_t sr = 0;
  int32_t si = 0;
  for (int32_t i = 1; i <= q; ++i) {
    const int32_t p = h + 1 - i;
    int32_t tr = re[p];
    int32_t ti = im[p];
    if (p == h) {
      tr = Scale10(tr, 7);
      ti = Scale10(ti, 7);
      sr = tr;
      si = ti;
    }
    SetBin(t, p, re[i], Wrap32(-int64_t{im[i]}));
    SetBin(t, i, tr, Wrap32(-int64_t{ti}));
  }
  for (int32_t j = n - 1; j >= m; --j) {
    const int32_t p = 2 * m - 1 - j;
    int32_t tr = re[p];
    int32_t ti = im[p];
    if (p == h) {
      tr = sr;
      ti = si;
    }
    SetBin(t, p, re[j], Wrap32(-int64_t{im[j]}));
    SetBin(t, j, tr, Wrap32(-int64_t{ti}));
  }
  re[h] = Scale10(re[h], 14);
  im[h] = Scale10(im[h], 14);
}

void ShiftSpectrum(TransformState& t, int32_t shift) {
  if (shift > 0) {
    ShiftUp(t, shift);
  } else if (shift < 0) {
    ShiftDown(t, static_cast<int32_t>(std::min<int64_t>(-int64_t{shift}, kMaxPoints)));
  }
}

void BfoBlockStep(DspState& dsp) {
  TransformState& t = dsp.Transform;
  TransformPrepare(t);
  ForwardTransform(t);
  if (dsp.Bfo.BfoInverted) {
    InvertSpectrum(t);
  }
  ShiftSpectrum(t, dsp.Bfo.BfoShift);
  t.TimeBlock = t.SpectrumRe;
  t.ScratchBlock = t.SpectrumIm;
  const int32_t n = Points(t);
  for (int32_t k = 0; k < n; ++k) {
    const uint16_t r = t.BitReverse[k];
    if (r < kMaxPoints) {
      SetBin(t, r, t.TimeBlock[k], t.ScratchBlock[k]);
    }
  }
  InverseTransform(t);
}

}  // namespace velunda
