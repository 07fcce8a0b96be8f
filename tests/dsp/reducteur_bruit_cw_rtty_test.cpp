#include "dsp/reducteur_bruit_cw_rtty.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/reducteur_wiener_phonie.hpp"
#include "dsp/tone.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> FreshReducer(int32_t rate, uint8_t mode) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurCw.CwReducerSampleRate = rate;
  dsp->ReducteurCw.CwRttyMode = mode;
  CwReducerSetup(*dsp);
  return dsp;
}

std::vector<uint8_t> Reduce(DspState& dsp, const std::vector<uint8_t>& input) {
  std::vector<uint8_t> out;
  out.reserve(input.size());
  for (uint8_t s : input) {
    dsp.CurrentSample = s;
    CwReducerStep(dsp);
    out.push_back(dsp.CurrentSample);
  }
  return out;
}

struct DesignCase {
  int32_t rate;
  uint8_t mode;
  int32_t taps;
  std::array<int32_t, 3> firstBandCoefficients;
  std::array<int32_t, 10> shaping;
};

class CwReducerDesign : public ::testing::TestWithParam<DesignCase> {};

TEST_P(CwReducerDesign, LoadsShapingAndBandPass) {
  const DesignCase& c = GetParam();
  auto dsp = FreshReducer(c.rate, c.mode);
  const ReducteurCwState& r = dsp->ReducteurCw;
  EXPECT_EQ(r.ShapingTaps, 10);
  EXPECT_EQ(r.ShapingCoefficients, c.shaping);
  EXPECT_EQ(r.CwBandTapCount, c.taps);
  EXPECT_EQ(dsp->Fir.pairCount, c.taps / 2);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(dsp->Fir.coefficients[k], c.firstBandCoefficients[k]) << k;
  }
  // The band-pass action keeps its own calibrated length.
  EXPECT_EQ(dsp->PasseBande.BandPassTapCount, 1000);
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndModes, CwReducerDesign,
    ::testing::Values(DesignCase{8000,
                                 0,
                                 34,
                                 {14375, 9796, 2627},
                                 {2598, 3938, 4117, 3083, 1139, -1139, -3083, -4117, -3938, -2598}},
                      DesignCase{8000,
                                 1,
                                 34,
                                 {12856, -453, -11998},
                                 {4229, 2387, -1929, -4246, -2162, 2162, 4246, 1929, -2387, -4229}},
                      DesignCase{11025,
                                 0,
                                 46,
                                 {10644, 8809, 5575},
                                 {3999, 4032, 3435, 2302, 809, -809, -2302, -3435, -4032, -3999}},
                      DesignCase{
                          11025,
                          1,
                          46,
                          {10054, 4232, -3686},
                          {3936, 3806, 1502, -1661, -3874, -3874, -1661, 1502, 3806, 3936}}));

TEST(CwReducer, FullScaleStepFromClearedState) {
  auto dsp = FreshReducer(8000, 0);
  ASSERT_EQ(dsp->Reducteurs.PowerWindow, 40);
  const auto out = Reduce(*dsp, std::vector<uint8_t>(400, 255));
  const std::vector<uint8_t> head(out.begin(), out.begin() + 20);
  EXPECT_EQ(head, (std::vector<uint8_t>{127, 127, 127, 127, 127, 128, 128, 128, 130, 131,
                                        132, 130, 125, 114, 101, 87,  80,  83,  101, 130}));
  // Then it rings back towards the resting value.
  EXPECT_NEAR(out.back(), 127, 1);
}

TEST(CwReducer, RemovesA2500HzTone) {
  for (int32_t rate : {8000, 11025}) {
    for (uint8_t mode : {0, 1}) {
      auto dsp = FreshReducer(rate, mode);
      const auto out =
          Reduce(*dsp, test::ToneBytes(2500.0, 100.0, rate, static_cast<size_t>(rate)));
      for (size_t i = out.size() / 2; i < out.size(); ++i) {
        ASSERT_EQ(out[i], 127) << "rate " << rate << " mode " << int{mode} << " sample " << i;
      }
    }
  }
}

TEST(CwReducer, OffPassesEveryByteAndNoStateMoves) {
  auto dsp = FreshReducer(8000, 0);
  Reduce(*dsp, test::ToneBytes(700.0, 60.0, 8000, 500));
  const ReducteurCwState before = dsp->ReducteurCw;
  dsp->ReducteurCw.CwReductionOff = true;
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) {
    all[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(Reduce(*dsp, all), all);
  EXPECT_EQ(dsp->ReducteurCw.CwHistory, before.CwHistory);
  EXPECT_EQ(dsp->ReducteurCw.CwWeights, before.CwWeights);
  EXPECT_EQ(dsp->ReducteurCw.ShapingHistory, before.ShapingHistory);
}

// The set-up never clears the histories or weights: a change of mode carries the state over,
// so the output differs from a fresh reducer's, and equals that of one carried over by hand.
TEST(CwReducer, ChangeOfModeKeepsTheAdaptation) {
  const auto before = test::ToneBytes(700.0, 80.0, 8000, 600);
  const auto after = test::ToneBytes(1360.0, 80.0, 8000, 300);
  auto used = FreshReducer(8000, 0);
  Reduce(*used, before);
  const ReducteurCwState carried = used->ReducteurCw;
  used->ReducteurCw.CwRttyMode = 1;
  CwReducerSetup(*used);
  EXPECT_EQ(used->ReducteurCw.CwWeights, carried.CwWeights);
  EXPECT_EQ(used->ReducteurCw.CwHistory, carried.CwHistory);
  auto fresh = FreshReducer(8000, 1);
  EXPECT_NE(Reduce(*used, after), Reduce(*fresh, after));
}

// The power window is the one the general reducer's set-up chose last.
TEST(CwReducer, UsesTheGeneralReducersPowerWindow) {
  auto dsp = FreshReducer(8000, 0);
  dsp->ReducteurGeneral.VoiceReducerSampleRate = 11025;
  GeneralReducerSetup(*dsp);
  ASSERT_EQ(dsp->Reducteurs.PowerWindow, 55);
  Reduce(*dsp, std::vector<uint8_t>(60, 200));
  EXPECT_NE(dsp->ReducteurCw.CwHistory[54], 0);
  EXPECT_EQ(dsp->ReducteurCw.CwHistory[55], 0);
  EXPECT_GT(dsp->Reducteurs.ReducerPower, 1);
}

}  // namespace
}  // namespace velunda
