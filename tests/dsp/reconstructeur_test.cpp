#include "dsp/reconstructeur.hpp"

#include "test_support.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> WithTransform(uint16_t n, bool window = false) {
  auto dsp = std::make_unique<DspState>();
  dsp->Transform.TransformSize = n;
  dsp->Transform.WindowEnabled = window;
  TransformInit(dsp->Transform);
  return dsp;
}

void Forward(TransformState& t, const std::vector<int32_t>& block) {
  std::copy(block.begin(), block.end(), t.TimeBlock.begin());
  TransformPrepare(t);
  ForwardTransform(t);
}

std::vector<int32_t> Head(const std::array<int32_t, 2048>& a, int n) {
  return {a.begin(), a.begin() + n};
}

// Tables, bit reversal and eight-point spectra; the Hamming window is applied to the block in
// place, rounded.
TEST(Transform, TablesAndEightPointSpectra) {
  auto dsp = WithTransform(8);
  const TransformState& t = dsp->Transform;
  const std::tuple<int, int32_t, int32_t> trig[] = {
      {0, 200, 0},      {3000, 173, 100}, {4500, 141, 141}, {9000, 0, 200},
      {18000, -200, 0}, {27000, 0, -200}, {36000, 200, 0}};
  for (auto [i, c, s] : trig) {
    EXPECT_EQ(std::pair(t.CosineTable[i], t.SineTable[i]), std::pair(c, s)) << i;
  }
  EXPECT_EQ(t.StageCount, 3);
  EXPECT_EQ(std::vector<uint16_t>(t.BitReverse.begin(), t.BitReverse.begin() + 8),
            (std::vector<uint16_t>{0, 4, 2, 6, 1, 5, 3, 7}));
  using V = std::vector<int32_t>;
  const V zero(8, 0);
  const std::tuple<V, V, V> cases[] = {
      {{1000, 0, 0, 0, 0, 0, 0, 0}, V(8, 125), zero},
      {V(8, 800), {800, 0, 0, 0, 0, 0, 0, 0}, zero},
      {{1000, 707, 0, -707, -1000, -707, 0, 707}, {0, 499, 0, 0, 0, 0, 0, 499}, zero},
      {{0, 707, 1000, 707, 0, -707, -1000, -707}, zero, {0, -499, 0, 0, 0, 0, 0, 499}}};
  for (const auto& [block, re, im] : cases) {
    Forward(dsp->Transform, block);
    EXPECT_EQ(Head(t.SpectrumRe, 8), re);
    EXPECT_EQ(Head(t.SpectrumIm, 8), im);
  }
  dsp->Transform.WindowEnabled = true;
  TransformInit(dsp->Transform);
  Forward(dsp->Transform, V(8, 1000));
  EXPECT_EQ(Head(t.TimeBlock, 8), (V{80, 253, 642, 954, 954, 642, 253, 80}));
}

using Bins = std::vector<std::tuple<int, int32_t, int32_t>>;  // (bin, re, im), not zero

Bins NonZero(const TransformState& t) {
  Bins v;
  for (int k = 0; k < t.TransformSize; ++k) {
    if (t.SpectrumRe[k] != 0 || t.SpectrumIm[k] != 0) {
      v.emplace_back(k, t.SpectrumRe[k], t.SpectrumIm[k]);
    }
  }
  return v;
}

// A 1024-point spectrum holding DC 9 and a tone (300, 170) at bin `from` with its conjugate
// mirror, inverted or shifted.
TEST(BfoSpectrum, InvertAndShift) {
  const std::tuple<bool, int32_t, int, Bins> cases[] = {
      // Inverted, bin k goes to h + 1 - k conjugated, its mirror follows, DC stays; the
      // Nyquist bin (1000 here) and bin 1 trade places: 7/10 of the old Nyquist to bins 1 and
      // N - 1, 14/10 of conj(old bin N - 1) to Nyquist.
      {true, 0, 2, {{0, 9, 0}, {1, 700, 0}, {511, 300, -170}, {513, 300, 170}, {1023, 700, 0}}},
      {true, 0, 256, {{0, 9, 0}, {1, 700, 0}, {257, 300, -170}, {767, 300, 170}, {1023, 700, 0}}},
      {true, 0, 257, {{0, 9, 0}, {1, 700, 0}, {256, 300, -170}, {768, 300, 170}, {1023, 700, 0}}},
      {true, 0, 511, {{0, 9, 0}, {1, 700, 0}, {2, 300, -170}, {1022, 300, 170}, {1023, 700, 0}}},
      {true, 0, 1, {{0, 9, 0}, {1, 700, 0}, {512, 420, 238}, {1023, 700, 0}}},
      {false, 0, 100, {{0, 9, 0}, {100, 300, 170}, {924, 300, -170}}},
      {false, 164, 300, {{0, 9, 0}, {464, 300, 170}, {560, 300, -170}}},
      {false, 10, 502, {{0, 9, 0}, {512, 420, 0}}},  // landing on Nyquist: 14/10, made real
      {false, 10, 505, {{0, 9, 0}}},                 // above Nyquist: gone
      // Downward, old bin |S| becomes the new DC; below |S| the tone is gone.
      {false, -10, 100, {{90, 300, 170}, {934, 300, -170}}},
      {false, -10, 10, {{0, 300, 170}}},
      {false, -10, 5, {}},
      // Bin h + a takes the conjugate of its mirror (7/10 of the old Nyquist), whatever it
      // held: the spectrum stays that of a real signal.
      {false, -10, 502, {{492, 300, 170}, {532, 300, -170}}},
      {false, -10, 512, {{502, 210, -119}, {522, 210, 119}}}};
  for (const auto& [invert, shift, from, expected] : cases) {
    auto dsp = WithTransform(1024);
    TransformState& t = dsp->Transform;
    t.SpectrumRe[0] = 9;
    t.SpectrumRe[512] = invert ? 1000 : 0;
    t.SpectrumRe[from] = t.SpectrumRe[1024 - from] = 300;
    t.SpectrumIm[from] = 170;
    t.SpectrumIm[1024 - from] = -170;
    if (invert) {
      InvertSpectrum(t);
    }
    ShiftSpectrum(t, shift);
    EXPECT_EQ(NonZero(t), expected) << invert << " " << shift << " from " << from;
  }
}

// A 10000-amplitude tone at bin 100 through the whole block step comes out at the expected
// bin with its amplitude (bin magnitude 5000) within the transforms' rounding. With neither
// shift nor inversion the step gives the block back: a sine, so that a time-reversing inverse
// (a wrong twiddle sign) shows.
TEST(BfoBlockStep, ToneMovesToExpectedBin) {
  const std::tuple<int32_t, bool, int> cases[] = {
      {0, false, 100}, {10, false, 110}, {-10, false, 90}, {0, true, 413}, {-10, true, 403}};
  for (auto [shift, invert, bin] : cases) {
    auto dsp = WithTransform(1024);
    TransformState& t = dsp->Transform;
    dsp->Bfo.BfoShift = shift;
    dsp->Bfo.BfoInverted = invert;
    for (int i = 0; i < 1024; ++i) {
      t.TimeBlock[i] = static_cast<int32_t>(std::nearbyint(10000 * std::sin(test::kPi * i / 5.12)));
    }
    const auto input = Head(t.TimeBlock, 1024);
    BfoBlockStep(*dsp);
    for (int i = 0; shift == 0 && !invert && i < 1024; ++i) {
      ASSERT_NEAR(t.SpectrumRe[i], input[i], 60) << i;
    }
    Forward(t, Head(t.SpectrumRe, 1024));
    std::vector<double> magnitude(513);
    for (int k = 0; k <= 512; ++k) {
      magnitude[k] = std::hypot(t.SpectrumRe[k], t.SpectrumIm[k]);
    }
    const auto peak = std::max_element(magnitude.begin(), magnitude.end());
    EXPECT_EQ(peak - magnitude.begin(), bin) << shift << " " << invert;
    EXPECT_NEAR(*peak, 5000.0, 50.0) << shift << " " << invert;
  }
}

}  // namespace
}  // namespace velunda
