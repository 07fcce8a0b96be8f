#include "dsp/passebande.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "clocks.hpp"
#include "dsp/dsp_state.hpp"
#include "naive_fir.hpp"
#include "tone.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> BandPass(uint16_t centre, double width, int32_t rate = 8000) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->PasseBande.BandPassCentre = centre;
  dsp->PasseBande.BandPassWidth = width;
  BandPassSetup(*dsp);
  return dsp;
}

std::vector<uint8_t> RunBandPass(DspState& dsp, const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out;
  for (uint8_t s : in) {
    dsp.CurrentSample = s;
    BandPassStep(dsp);
    out.push_back(dsp.CurrentSample);
  }
  return out;
}

struct BandCase {
  uint16_t centre;
  double width, lower, upper;
  int32_t c0, c1;
};

class BandPassSetupTest : public testing::TestWithParam<BandCase> {};

TEST_P(BandPassSetupTest, EdgesCutTo100And3900AndCoefficients) {
  const BandCase& c = GetParam();
  auto dsp = BandPass(c.centre, c.width);
  EXPECT_EQ(dsp->PasseBande.BandLowerEdge, c.lower);
  EXPECT_EQ(dsp->PasseBande.BandUpperEdge, c.upper);
  EXPECT_EQ(dsp->Fir.pairCount, 500);
  EXPECT_EQ(dsp->Fir.coefficients[0], c.c0);
  EXPECT_EQ(dsp->Fir.coefficients[1], c.c1);
}

INSTANTIATE_TEST_SUITE_P(Bands, BandPassSetupTest,
                         testing::Values(BandCase{1000, 250, 875, 1125, 5772, 2383},
                                         BandCase{100, 120, 100, 160, 1498, 1482},
                                         BandCase{3300, 2000, 2300, 3900, 13618, -29957}));

TEST(BandPassSetup, WidthsAroundACentre) {
  const std::tuple<uint16_t, double, double, double> cases[] = {{1000, 120, 940, 1060},
                                                                {1000, 500, 750, 1250},
                                                                {1000, 2000, 100, 2000},
                                                                {100, 2000, 100, 1100},
                                                                {3300, 250, 3175, 3425}};
  for (auto [centre, width, lower, upper] : cases) {
    auto dsp = BandPass(centre, width);
    EXPECT_EQ(dsp->PasseBande.BandLowerEdge, lower) << centre << "/" << width;
    EXPECT_EQ(dsp->PasseBande.BandUpperEdge, upper) << centre << "/" << width;
  }
}

TEST(BandPassDesign, CentreBandCoefficientsAndUnityGainAtCentre) {
  auto dsp = BandPass(1000, 250);
  EXPECT_EQ(dsp->Fir.coefficients[499], 9);
  int32_t sum = 0;
  for (int32_t v : dsp->Fir.coefficients) {
    sum += v;
  }
  EXPECT_EQ(2 * sum, -6);
  EXPECT_NEAR(test::DesignGain(dsp->Fir.coefficients, 500, 1000.0, 8000), 1.0, 0.005);
}

TEST(BandPassStep, SteadyInputIsRemoved) {
  for (uint8_t level : {0, 128, 200}) {
    auto dsp = BandPass(1000, 250);
    const auto out = RunBandPass(*dsp, std::vector<uint8_t>(1200, level));
    EXPECT_EQ(out.back(), 127) << int{level};
  }
}

class BandPassToneTest : public testing::TestWithParam<std::tuple<double, double>> {};

// In band the tone keeps its amplitude; outside it is attenuated by the design's gain.
TEST_P(BandPassToneTest, ToneAmplitudeFollowsDesignGain) {
  const auto [width, freq] = GetParam();
  auto dsp = BandPass(1000, width);
  const double gain = test::DesignGain(dsp->Fir.coefficients, 500, freq, 8000);
  const auto out = RunBandPass(*dsp, test::ToneBytes(freq, 100.0, 8000, 5000));
  EXPECT_NEAR(test::ToneAmplitude(out, 1000, freq, 8000), 100.0 * gain, 1.0) << "gain " << gain;
}

INSTANTIATE_TEST_SUITE_P(InAndOut, BandPassToneTest,
                         testing::Combine(testing::Values(120.0, 500.0, 2000.0),
                                          testing::Values(1000.0, 400.0, 2600.0)));

TEST(BandPassBypass, PassesEveryByteUnchanged) {
  auto dsp = BandPass(1000, 250);
  const auto input = test::RandomBytes(3000, 5);
  RunBandPass(*dsp, input);
  dsp->PasseBande.BandPassBypass = true;
  EXPECT_EQ(RunBandPass(*dsp, input), input);
}

struct ReducerLengthCase {
  int32_t rate, taps;
  double lower, upper;
  int32_t c0, c1, c2;
};

class BandPassOwnLengthTest : public testing::TestWithParam<ReducerLengthCase> {};

// A design with a caller's length (the CW/RTTY reducer's stage) leaves the band-pass's
// own calibrated length alone.
TEST_P(BandPassOwnLengthTest, DesignWithCallersLength) {
  const ReducerLengthCase& c = GetParam();
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = c.rate;
  dsp->PasseBande.BandPassTapCount = 612;
  dsp->PasseBande.BandLowerEdge = c.lower;
  dsp->PasseBande.BandUpperEdge = c.upper;
  BandPassDesign(*dsp, c.taps);
  EXPECT_EQ(dsp->Fir.pairCount, c.taps / 2);
  EXPECT_EQ(dsp->Fir.coefficients[0], c.c0);
  EXPECT_EQ(dsp->Fir.coefficients[1], c.c1);
  EXPECT_EQ(dsp->Fir.coefficients[2], c.c2);
  EXPECT_EQ(dsp->PasseBande.BandPassTapCount, 612);
  BandPassSetup(*dsp);
  EXPECT_EQ(dsp->Fir.pairCount, 306);
}

INSTANTIATE_TEST_SUITE_P(
    Reducer, BandPassOwnLengthTest,
    testing::Values(ReducerLengthCase{8000, 34, 400, 1000, 14375, 9796, 2627},
                    ReducerLengthCase{8000, 34, 1060, 1660, 12856, -453, -11998},
                    ReducerLengthCase{11025, 46, 400, 1000, 10644, 8809, 5575},
                    ReducerLengthCase{11025, 46, 1060, 1660, 10054, 4232, -3686}));

TEST(BandPassCalibrate, ThresholdIs38Milliseconds) {
  const std::tuple<std::vector<uint32_t>, int32_t, size_t> cases[] = {
      // 38 ms: d = 39 * 8000 / 100 = 3120, (250000 / 3120) * 2.
      {{0, 38}, 160, 2},
      // 37 ms: 500 more steps take 200 ms, d = 201 * 8000 / 500 = 3216.
      {{0, 37, 50, 250}, 154, 4}};
  for (const auto& [readings, taps, reads] : cases) {
    auto dsp = std::make_unique<DspState>();
    test::ScriptedClock clock(readings);
    BandPassCalibrate(*dsp, clock);
    EXPECT_TRUE(dsp->PasseBande.BandPassCalibrated);
    EXPECT_EQ(dsp->PasseBande.BandPassTapCount, taps);
    EXPECT_EQ(clock.reads(), reads);
    EXPECT_EQ(dsp->Fir.pairCount, taps / 2);
    EXPECT_EQ(dsp->PasseBande.BandLowerEdge, 675.0);  // centre 800, width 250
  }
}

}  // namespace
}  // namespace velunda
