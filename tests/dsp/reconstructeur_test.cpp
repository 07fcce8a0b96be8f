#include "dsp/reconstructeur.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "dsp/dsp_state.hpp"

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

// Bit-reversed copy of the spectrum, then the inverse: the time block in SpectrumRe.
void Inverse(TransformState& t) {
  const std::vector<int32_t> re(t.SpectrumRe.begin(), t.SpectrumRe.begin() + t.TransformSize);
  const std::vector<int32_t> im(t.SpectrumIm.begin(), t.SpectrumIm.begin() + t.TransformSize);
  for (size_t i = 0; i < re.size(); ++i) {
    t.SpectrumRe[t.BitReverse[i]] = re[i];
    t.SpectrumIm[t.BitReverse[i]] = im[i];
  }
  InverseTransform(t);
}

std::vector<int32_t> Re(const TransformState& t) {
  return {t.SpectrumRe.begin(), t.SpectrumRe.begin() + t.TransformSize};
}
std::vector<int32_t> Im(const TransformState& t) {
  return {t.SpectrumIm.begin(), t.SpectrumIm.begin() + t.TransformSize};
}

TEST(TransformInit, TrigonometricTables) {
  auto dsp = WithTransform(8);
  const TransformState& t = dsp->Transform;
  const std::pair<int, int32_t> cosines[] = {
      {0, 200}, {4500, 141}, {9000, 0}, {18000, -200}, {36000, 200}};
  for (auto [i, v] : cosines) {
    EXPECT_EQ(t.CosineTable[i], v) << i;
  }
  const std::pair<int, int32_t> sines[] = {{3000, 100}, {9000, 200}, {27000, -200}, {36000, 0}};
  for (auto [i, v] : sines) {
    EXPECT_EQ(t.SineTable[i], v) << i;
  }
  EXPECT_EQ(t.StageCount, 3);
  EXPECT_EQ(t.StageSizes[15], 32768);
}

TEST(TransformInit, BitReversal) {
  auto dsp = WithTransform(8);
  const std::vector<uint16_t> eight(dsp->Transform.BitReverse.begin(),
                                    dsp->Transform.BitReverse.begin() + 8);
  EXPECT_EQ(eight, (std::vector<uint16_t>{0, 4, 2, 6, 1, 5, 3, 7}));
  for (uint16_t n : {512, 2048}) {
    dsp->Transform.TransformSize = n;
    TransformInit(dsp->Transform);
    const int bits = n == 512 ? 9 : 11;
    for (int i = 0; i < n; ++i) {
      int reversed = 0;
      for (int b = 0; b < bits; ++b) {
        reversed |= ((i >> b) & 1) << (bits - 1 - b);
      }
      ASSERT_EQ(dsp->Transform.BitReverse[i], reversed) << n << " " << i;
    }
  }
}

TEST(TransformInit, HammingWindowOnlyWhenEnabled) {
  auto dsp = WithTransform(8, true);
  const double expected[] = {0.08, 0.253195, 0.64236, 0.954446, 0.954446, 0.64236, 0.253195, 0.08};
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(dsp->Transform.AnalysisWindow[i], expected[i], 1e-6) << i;
  }
  dsp->Transform.AnalysisWindow.fill(3.0);
  dsp->Transform.WindowEnabled = false;
  TransformInit(dsp->Transform);
  EXPECT_EQ(dsp->Transform.AnalysisWindow[0], 3.0);
  EXPECT_EQ(dsp->Transform.AnalysisWindow[7], 3.0);
}

TEST(TransformPrepare, WindowsTheBlockInPlaceAndRounds) {
  auto dsp = WithTransform(8, true);
  Forward(dsp->Transform, std::vector<int32_t>(8, 1000));
  const std::vector<int32_t> windowed(dsp->Transform.TimeBlock.begin(),
                                      dsp->Transform.TimeBlock.begin() + 8);
  EXPECT_EQ(windowed, (std::vector<int32_t>{80, 253, 642, 954, 954, 642, 253, 80}));
}

struct SpectrumCase {
  std::vector<int32_t> block, re, im;
};

class ForwardTransformTest : public testing::TestWithParam<SpectrumCase> {};

TEST_P(ForwardTransformTest, EightPointSpectra) {
  const SpectrumCase& c = GetParam();
  auto dsp = WithTransform(8);
  Forward(dsp->Transform, c.block);
  EXPECT_EQ(Re(dsp->Transform), c.re);
  EXPECT_EQ(Im(dsp->Transform), c.im);
}

const std::vector<int32_t> kZero8(8, 0);

INSTANTIATE_TEST_SUITE_P(
    Blocks, ForwardTransformTest,
    testing::Values(SpectrumCase{{1000, 0, 0, 0, 0, 0, 0, 0}, std::vector<int32_t>(8, 125), kZero8},
                    SpectrumCase{std::vector<int32_t>(8, 800), {800, 0, 0, 0, 0, 0, 0, 0}, kZero8},
                    SpectrumCase{{1000, 707, 0, -707, -1000, -707, 0, 707},
                                 {0, 499, 0, 0, 0, 0, 0, 499},
                                 kZero8},
                    SpectrumCase{{0, 707, 1000, 707, 0, -707, -1000, -707},
                                 kZero8,
                                 {0, -499, 0, 0, 0, 0, 0, 499}}));

TEST(InverseTransform, ImpulseComesBackExactly) {
  auto dsp = WithTransform(8);
  Forward(dsp->Transform, {1000, 0, 0, 0, 0, 0, 0, 0});
  Inverse(dsp->Transform);
  EXPECT_EQ(Re(dsp->Transform), (std::vector<int32_t>{1000, 0, 0, 0, 0, 0, 0, 0}));
}

class RoundTripTest : public testing::TestWithParam<std::pair<uint16_t, int32_t>> {};

// Forward, bit-reversed copy and inverse give the block back within the quantised twiddles
// (1/200 in amplitude) and the truncating divisions; a wrong twiddle or order is far off.
TEST_P(RoundTripTest, RandomBlocksComeBack) {
  const auto [n, amplitude] = GetParam();
  auto dsp = WithTransform(n);
  std::mt19937 gen(n);
  std::uniform_int_distribution<int32_t> sample(-amplitude, amplitude);
  const int32_t tolerance = amplitude / 50 + 4 * static_cast<int32_t>(std::sqrt(n));
  for (int rep = 0; rep < 10; ++rep) {
    std::vector<int32_t> block(n);
    for (auto& v : block) {
      v = sample(gen);
    }
    Forward(dsp->Transform, block);
    Inverse(dsp->Transform);
    for (int i = 0; i < n; ++i) {
      ASSERT_NEAR(dsp->Transform.SpectrumRe[i], block[i], tolerance) << n << " " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTripTest,
                         testing::Values(std::pair<uint16_t, int32_t>{8, 20000},
                                         std::pair<uint16_t, int32_t>{64, 20000},
                                         std::pair<uint16_t, int32_t>{1024, 20000},
                                         std::pair<uint16_t, int32_t>{2048, 2000}));

}  // namespace
}  // namespace velunda
