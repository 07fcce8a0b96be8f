#include "dsp/passebas.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "clocks.hpp"
#include "dsp/dsp_state.hpp"
#include "naive_fir.hpp"
#include "tone.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> LowPass(double cutoff, int32_t taps = 1000, int32_t rate = 8000) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->PasseBas.LowPassCutoff = cutoff;
  dsp->PasseBas.LowPassTapCount = taps;
  LowPassDesign(*dsp);
  return dsp;
}

std::vector<uint8_t> RunLowPass(DspState& dsp, const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out;
  for (uint8_t s : in) {
    dsp.CurrentSample = s;
    LowPassStep(dsp);
    out.push_back(dsp.CurrentSample);
  }
  return out;
}

struct DesignCase {
  double cutoff;
  int32_t c0, c1, c499, twiceSum;
};

class LowPassDesignTest : public testing::TestWithParam<DesignCase> {};

TEST_P(LowPassDesignTest, CoefficientsAt8000HzAnd1000Taps) {
  const DesignCase& c = GetParam();
  auto dsp = LowPass(c.cutoff);
  EXPECT_EQ(dsp->Fir.pairCount, 500);
  EXPECT_EQ(dsp->Fir.coefficients[0], c.c0);
  EXPECT_EQ(dsp->Fir.coefficients[1], c.c1);
  EXPECT_EQ(dsp->Fir.coefficients[499], c.c499);
  int32_t sum = 0;
  for (int32_t v : dsp->Fir.coefficients) {
    sum += v;
  }
  EXPECT_EQ(2 * sum, c.twiceSum);
}

INSTANTIATE_TEST_SUITE_P(Cutoffs, LowPassDesignTest,
                         testing::Values(DesignCase{1000, 24362, 19605, 2, 100016},
                                         DesignCase{3000, 58816, -8121, 5, 99988},
                                         DesignCase{300, 7483, 7345, -5, 99998}));

TEST(SymmetricFirDesign, LengthClampedAndNoRateGivesSilence) {
  SymmetricFir fir;
  fir.coefficients.fill(77);
  SymmetricFirDesign(fir, 1200, 8000, 0.0, 1000.0);
  EXPECT_EQ(fir.pairCount, 500);
  EXPECT_EQ(fir.coefficients[0], 24362);
  const int32_t beyond = fir.coefficients[5];
  SymmetricFirDesign(fir, 10, 0, 0.0, 1000.0);
  EXPECT_EQ(fir.pairCount, 5);
  EXPECT_EQ(fir.coefficients[4], 0);
  EXPECT_EQ(fir.coefficients[5], beyond);  // beyond the new length: left as it was
}

struct SteadyCase {
  double cutoff;
  uint8_t in, out;
};

class LowPassSteadyTest : public testing::TestWithParam<SteadyCase> {};

TEST_P(LowPassSteadyTest, SteadyInputSettles) {
  const SteadyCase& c = GetParam();
  auto dsp = LowPass(c.cutoff);
  const auto out = RunLowPass(*dsp, std::vector<uint8_t>(1200, c.in));
  EXPECT_EQ(out.back(), c.out);
}

INSTANTIATE_TEST_SUITE_P(Levels, LowPassSteadyTest,
                         testing::Values(SteadyCase{1000, 128, 128}, SteadyCase{300, 128, 127},
                                         SteadyCase{1000, 255, 255}, SteadyCase{300, 255, 254},
                                         SteadyCase{1000, 0, 0}, SteadyCase{300, 0, 0}));

TEST(FirOutputByte, ClipsAndHalves) {
  const std::pair<int32_t, uint8_t> cases[] = {{255, 255}, {256, 255}, {100000, 255}, {-255, 0},
                                               {-256, 0},  {0, 127},   {-1, 127},     {1, 128},
                                               {253, 254}, {-253, 1}};
  for (auto [y, byte] : cases) {
    EXPECT_EQ(FirOutputByte(y), byte) << y;
  }
}

// The ring-buffer kernel against the shifted history, over tap counts, redesigns, bypassed
// stretches and coefficients large enough to wrap the 32-bit sum.
class KernelEquivalenceTest : public testing::TestWithParam<int32_t> {};

TEST_P(KernelEquivalenceTest, MatchesShiftedHistoryByteForByte) {
  const int32_t taps = GetParam();
  auto dsp = std::make_unique<DspState>();
  test::NaiveFir naive;
  std::mt19937 gen(static_cast<uint32_t>(taps));
  std::uniform_int_distribution<int32_t> coefficient(-(1 << 30), 1 << 30);
  const auto input = test::RandomBytes(6000, 7u * static_cast<uint32_t>(taps));
  int32_t current = taps;
  for (size_t i = 0; i < input.size(); ++i) {
    if (i % 1500 == 0) {
      // Redesign: a new length, every history entry it reads cleared.
      current = (i / 1500) % 2 == 0 ? taps : std::max(2, (taps * 2 / 3) & ~1);
      SymmetricFirDesign(dsp->Fir, current, 8000, 0.0, 1000.0);
      for (int32_t k = 0; k < current / 2; ++k) {
        const int32_t c = i == 3000 ? coefficient(gen) : dsp->Fir.coefficients[k];
        dsp->Fir.coefficients[k] = c;
        naive.coefficients[k] = c;
      }
      for (int32_t k = 0; k < current; ++k) {
        naive.delay[k] = 0;
      }
      naive.pairs = current / 2;
      naive.taps = current;
    }
    const bool bypass = (i / 200) % 5 == 4;
    dsp->PasseBas.LowPassBypass = bypass;
    dsp->CurrentSample = input[i];
    LowPassStep(*dsp);
    const uint8_t expected = bypass ? naive.Bypass(input[i]) : naive.Step(input[i]);
    ASSERT_EQ(dsp->CurrentSample, expected) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(TapCounts, KernelEquivalenceTest,
                         testing::Values(2, 4, 6, 16, 18, 34, 46, 100, 998, 1000));

TEST(FirHistory, PushAgeAndSetNewestKeepNewestFirstOrder) {
  FirHistory h;
  FirHistoryClear(h);
  for (int32_t v = 1; v <= 2500; ++v) {
    FirHistoryPush(h, v);
  }
  for (int32_t i = 0; i < kFirMaxTaps; ++i) {
    ASSERT_EQ(FirHistoryAt(h, i), 2500 - i) << i;
  }
  FirHistoryAge(h);
  EXPECT_EQ(FirHistoryAt(h, 0), 2500);
  EXPECT_EQ(FirHistoryAt(h, 1), 2500);
  EXPECT_EQ(FirHistoryAt(h, 999), 1502);
  FirHistorySetNewest(h, -7);
  EXPECT_EQ(FirHistoryAt(h, 0), -7);
  EXPECT_EQ(FirHistoryAt(h, 1), 2500);
}

struct ToneCase {
  double cutoff, freq;
  int32_t taps, rate;
};

class LowPassToneTest : public testing::TestWithParam<ToneCase> {};

// A tone comes out with the gain the design gives at its frequency, within the byte
// quantisation (the truncating division shrinks it by up to a unit): full in the pass band,
// attenuated in the stop band.
TEST_P(LowPassToneTest, ToneAmplitudeFollowsDesignGain) {
  const ToneCase& c = GetParam();
  auto dsp = LowPass(c.cutoff, c.taps, c.rate);
  const double amplitude = 100.0;
  const double gain = test::DesignGain(dsp->Fir.coefficients, c.taps / 2, c.freq, c.rate);
  const auto out = RunLowPass(*dsp, test::ToneBytes(c.freq, amplitude, c.rate, c.taps + 4000));
  EXPECT_NEAR(test::ToneAmplitude(out, c.taps, c.freq, c.rate), amplitude * gain, 1.0)
      << "gain " << gain;
}

INSTANTIATE_TEST_SUITE_P(
    PassAndStop, LowPassToneTest,
    testing::Values(ToneCase{1000, 500, 1000, 8000},  // pass band
                    ToneCase{1000, 1500, 1000, 8000}, ToneCase{1000, 2500, 1000, 8000},
                    ToneCase{3000, 2000, 1000, 8000}, ToneCase{3000, 3500, 1000, 8000},
                    ToneCase{300, 1000, 1000, 8000}, ToneCase{1000, 2500, 100, 8000},
                    ToneCase{1000, 1400, 100, 8000}, ToneCase{2000, 4000, 1000, 11025}));

TEST(LowPassBypass, PassesEveryByteUnchangedAndLeavingItClearsHistory) {
  auto dsp = LowPass(1000);
  const auto input = test::RandomBytes(3000, 11);
  RunLowPass(*dsp, input);  // fill the history
  dsp->PasseBas.LowPassBypass = true;
  EXPECT_EQ(RunLowPass(*dsp, input), input);
  // Leaving the bypass redesigns: the output is that of a fresh filter.
  dsp->PasseBas.LowPassBypass = false;
  LowPassDesign(*dsp);
  auto fresh = LowPass(1000);
  EXPECT_EQ(RunLowPass(*dsp, input), RunLowPass(*fresh, input));
}

struct CalibrationCase {
  std::vector<uint32_t> readings;
  int32_t rate;
  int32_t expectedTaps;
  size_t expectedReads;
};

class LowPassCalibrationTest : public testing::TestWithParam<CalibrationCase> {};

TEST_P(LowPassCalibrationTest, TapCountFromTimedSteps) {
  const CalibrationCase& c = GetParam();
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = c.rate;
  test::ScriptedClock clock(c.readings);
  LowPassCalibrate(*dsp, clock);
  EXPECT_TRUE(dsp->PasseBas.LowPassCalibrated);
  EXPECT_EQ(dsp->PasseBas.LowPassTapCount, c.expectedTaps);
  EXPECT_EQ(clock.reads(), c.expectedReads);
  // The kernel holds the design for the new length, its history cleared.
  EXPECT_EQ(dsp->Fir.pairCount, c.expectedTaps / 2);
  for (int32_t i = 0; i < c.expectedTaps; ++i) {
    ASSERT_EQ(FirHistoryAt(dsp->Fir.delay, i), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, LowPassCalibrationTest,
    testing::Values(
        // 40 ms for 100 steps: d = 41 * 8000 / 100 = 3280, (250000 / 3280) * 2.
        CalibrationCase{{0, 40}, 8000, 152, 2},
        // Exactly at the threshold: still the 100-step figure.
        CalibrationCase{{5, 40}, 8000, 172, 2},
        // Under it: 500 more steps, 200 ms: d = 201 * 8000 / 500 = 3216.
        CalibrationCase{{0, 34, 1000, 1200}, 8000, 154, 4},
        // A fast machine: 0 ms both times, d = 16, far above 1000 taps.
        CalibrationCase{{0, 0, 0, 0}, 8000, 1000, 4},
        // 11025 Hz: d = 41 * 11025 / 100 = 4520.
        CalibrationCase{{0, 40}, 11025, 110, 2},
        // A clock that wraps during the run still gives 40 ms.
        CalibrationCase{{0xFFFFFFF0u, 24}, 8000, 152, 2},
        // An extremely slow machine would compute 0 taps; the lower bound keeps 2.
        CalibrationCase{{0, 100000}, 8000, 2, 2}));

}  // namespace
}  // namespace velunda
