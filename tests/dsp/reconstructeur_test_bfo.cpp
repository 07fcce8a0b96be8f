// Digital BFO: spectrum inversion, shift and the block step.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/reconstructeur.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> Bfo(uint16_t n) {
  auto dsp = std::make_unique<DspState>();
  dsp->Transform.TransformSize = n;
  dsp->Transform.WindowEnabled = false;
  TransformInit(dsp->Transform);
  return dsp;
}

void Forward(TransformState& t, const std::vector<int32_t>& block) {
  std::copy(block.begin(), block.end(), t.TimeBlock.begin());
  TransformPrepare(t);
  ForwardTransform(t);
}

std::vector<int32_t> Cosine(int n, double bin, double amplitude) {
  std::vector<int32_t> v(n);
  for (int i = 0; i < n; ++i) {
    v[i] = static_cast<int32_t>(
        std::nearbyint(amplitude * std::cos(2.0 * std::numbers::pi * bin * i / n)));
  }
  return v;
}

// Clears the spectrum, then a tone (re, im) at bin k with its conjugate mirror, and DC.
void SetTone(TransformState& t, int k, int32_t re, int32_t im, int32_t dc = 0) {
  t.SpectrumRe.fill(0);
  t.SpectrumIm.fill(0);
  const int n = t.TransformSize;
  t.SpectrumRe[k] = re;
  t.SpectrumIm[k] = im;
  t.SpectrumRe[(n - k) % n] = re;
  t.SpectrumIm[(n - k) % n] = -im;
  t.SpectrumRe[0] = dc;
}

// Bins whose value is not zero, as (bin, re, im).
std::vector<std::tuple<int, int32_t, int32_t>> NonZero(const TransformState& t) {
  std::vector<std::tuple<int, int32_t, int32_t>> v;
  for (int k = 0; k < t.TransformSize; ++k) {
    if (t.SpectrumRe[k] != 0 || t.SpectrumIm[k] != 0) {
      v.emplace_back(k, t.SpectrumRe[k], t.SpectrumIm[k]);
    }
  }
  return v;
}

using Bins = std::vector<std::tuple<int, int32_t, int32_t>>;

TEST(BfoSpectrum, EightPointCosine) {
  struct Case {
    int32_t shift;
    bool invert;
    Bins expected;
  };
  const Case cases[] = {
      {1, false, {{2, 499, 0}, {6, 499, 0}}}, {-1, false, {{0, 499, 0}}}, {0, true, {{4, 698, 0}}}};
  for (const Case& c : cases) {
    auto dsp = Bfo(8);
    Forward(dsp->Transform, {1000, 707, 0, -707, -1000, -707, 0, 707});
    if (c.invert) {
      InvertSpectrum(dsp->Transform);
    }
    ShiftSpectrum(dsp->Transform, c.shift);
    EXPECT_EQ(NonZero(dsp->Transform), c.expected) << c.shift << " " << c.invert;
  }
}

class InversionTest : public testing::TestWithParam<int> {};

// Bin k goes to h + 1 - k, conjugated, its mirror follows, DC stays.
TEST_P(InversionTest, BinKMovesToHPlusOneMinusK) {
  const int k = GetParam();
  auto dsp = Bfo(1024);
  SetTone(dsp->Transform, k, 300, 170, -45);
  InvertSpectrum(dsp->Transform);
  const int to = 513 - k;
  Bins expected = {{0, -45, 0}, {to, 300, -170}, {1024 - to, 300, 170}};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(NonZero(dsp->Transform), expected);
}

INSTANTIATE_TEST_SUITE_P(Bins, InversionTest, testing::Values(2, 100, 255, 256, 257, 300, 511));

TEST(Inversion, NyquistAndBinOneTradePlacesScaled) {
  auto dsp = Bfo(1024);
  TransformState& t = dsp->Transform;
  t.SpectrumRe.fill(0);
  t.SpectrumIm.fill(0);
  t.SpectrumRe[512] = 1000;  // Nyquist, real
  t.SpectrumRe[1] = 50;
  t.SpectrumIm[1] = 20;
  t.SpectrumRe[1023] = 50;
  t.SpectrumIm[1023] = -20;
  InvertSpectrum(t);
  // 7/10 of the old Nyquist in bins 1 and N - 1; 14/10 of conj(old bin N - 1) at Nyquist.
  EXPECT_EQ(NonZero(t), (Bins{{1, 700, 0}, {512, 70, 28}, {1023, 700, 0}}));
}

struct ShiftCase {
  int32_t shift;
  int from;
  Bins expected;
};

class ShiftTest : public testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftTest, MovesKeepsOrDropsTheTone) {
  const ShiftCase& c = GetParam();
  auto dsp = Bfo(1024);
  SetTone(dsp->Transform, c.from, 300, 170, 9);
  ShiftSpectrum(dsp->Transform, c.shift);
  EXPECT_EQ(NonZero(dsp->Transform), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tones, ShiftTest,
    testing::Values(ShiftCase{10, 100, {{0, 9, 0}, {110, 300, 170}, {914, 300, -170}}},
                    // Downward, old bin |S| (here empty) becomes the new DC.
                    ShiftCase{-10, 100, {{90, 300, 170}, {934, 300, -170}}},
                    ShiftCase{164, 300, {{0, 9, 0}, {464, 300, 170}, {560, 300, -170}}},
                    // Landing on Nyquist: 14/10 larger and made real.
                    ShiftCase{10, 502, {{0, 9, 0}, {512, 420, 0}}},
                    // Above Nyquist: gone.
                    ShiftCase{10, 505, {{0, 9, 0}}},
                    // Below |S|: gone, DC replaced by the bin that lands there.
                    ShiftCase{-10, 5, {}},
                    // At |S|: becomes the new DC.
                    ShiftCase{-10, 10, {{0, 300, 170}}},
                    ShiftCase{0, 100, {{0, 9, 0}, {100, 300, 170}, {924, 300, -170}}}));

class DownShiftMirrorTest : public testing::TestWithParam<int32_t> {};

// The downward shift leaves the spectrum of a real signal: the top of the negative half
// takes the conjugates of its mirrors, 7/10 of the old Nyquist value included.
TEST_P(DownShiftMirrorTest, SpectrumStaysHermitian) {
  const int32_t a = GetParam();
  auto dsp = Bfo(1024);
  TransformState& t = dsp->Transform;
  std::mt19937 gen(static_cast<uint32_t>(a));
  std::uniform_int_distribution<int32_t> value(-5000, 5000);
  t.SpectrumRe[0] = value(gen);
  t.SpectrumIm[0] = 0;
  t.SpectrumRe[512] = value(gen);
  t.SpectrumIm[512] = 0;
  for (int k = 1; k < 512; ++k) {
    t.SpectrumRe[k] = t.SpectrumRe[1024 - k] = value(gen);
    t.SpectrumIm[k] = value(gen);
    t.SpectrumIm[1024 - k] = -t.SpectrumIm[k];
  }
  const std::vector<int32_t> oldRe(t.SpectrumRe.begin(), t.SpectrumRe.begin() + 1024);
  const std::vector<int32_t> oldIm(t.SpectrumIm.begin(), t.SpectrumIm.begin() + 1024);
  ShiftSpectrum(t, -a);
  for (int k = 0; k < 512 - a; ++k) {
    ASSERT_EQ(t.SpectrumRe[k], oldRe[k + a]) << k;
    ASSERT_EQ(t.SpectrumIm[k], oldIm[k + a]) << k;
  }
  EXPECT_EQ(t.SpectrumRe[512 - a], oldRe[512] * 7 / 10);
  EXPECT_EQ(t.SpectrumIm[512 - a], 0);
  for (int k = 512 - a + 1; k <= 512 + a - 1; ++k) {
    ASSERT_EQ(t.SpectrumRe[k], 0) << k;
    ASSERT_EQ(t.SpectrumIm[k], 0) << k;
  }
  for (int k = 1; k < 512; ++k) {
    ASSERT_EQ(t.SpectrumRe[1024 - k], t.SpectrumRe[k]) << k;
    ASSERT_EQ(t.SpectrumIm[1024 - k], -t.SpectrumIm[k]) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Shifts, DownShiftMirrorTest, testing::Values(1, 2, 10, 129, 164));

struct BlockCase {
  int32_t shift;
  bool invert;
  int peak;
};

class BfoBlockTest : public testing::TestWithParam<BlockCase> {};

// A 10000-amplitude tone at bin 100 through the whole block step comes out at the expected
// bin with its amplitude (bin magnitude 5000) within the transforms' rounding.
TEST_P(BfoBlockTest, ToneMovesToExpectedBin) {
  const BlockCase& c = GetParam();
  auto dsp = Bfo(1024);
  dsp->Bfo.BfoShift = c.shift;
  dsp->Bfo.BfoInverted = c.invert;
  const auto input = Cosine(1024, 100, 10000);
  std::copy(input.begin(), input.end(), dsp->Transform.TimeBlock.begin());
  BfoBlockStep(*dsp);
  const std::vector<int32_t> out(dsp->Transform.SpectrumRe.begin(),
                                 dsp->Transform.SpectrumRe.begin() + 1024);
  Forward(dsp->Transform, out);
  int peak = 0;
  double best = -1.0;
  for (int k = 0; k <= 512; ++k) {
    const double m = std::hypot(dsp->Transform.SpectrumRe[k], dsp->Transform.SpectrumIm[k]);
    if (m > best) {
      best = m;
      peak = k;
    }
  }
  EXPECT_EQ(peak, c.peak);
  EXPECT_NEAR(best, 5000.0, 50.0);
}

INSTANTIATE_TEST_SUITE_P(Settings, BfoBlockTest,
                         testing::Values(BlockCase{0, false, 100}, BlockCase{10, false, 110},
                                         BlockCase{-10, false, 90}, BlockCase{0, true, 413},
                                         BlockCase{10, true, 423}, BlockCase{-10, true, 403}));

TEST(BfoBlockStep, NoShiftFollowsTheInput) {
  auto dsp = Bfo(1024);
  const auto input = Cosine(1024, 100, 10000);
  std::copy(input.begin(), input.end(), dsp->Transform.TimeBlock.begin());
  BfoBlockStep(*dsp);
  for (int i = 0; i < 1024; ++i) {
    ASSERT_NEAR(dsp->Transform.SpectrumRe[i], input[i], 60) << i;
  }
}

}  // namespace
}  // namespace velunda
