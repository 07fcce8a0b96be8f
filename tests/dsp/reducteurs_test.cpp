#include "dsp/reducteur_bruit_cw_rtty.hpp"

#include "dsp/reducteur_wiener_phonie.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> FreshCwReducer(int32_t rate, uint8_t mode) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurCw.CwReducerSampleRate = rate;
  dsp->ReducteurCw.CwRttyMode = mode;
  CwReducerSetup(*dsp);
  return dsp;
}

std::unique_ptr<DspState> FreshGeneralReducer(int32_t rate, int32_t level) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurGeneral.VoiceReducerSampleRate = rate;
  dsp->ReducteurGeneral.VoiceReductionLevel = level;
  GeneralReducerSetup(*dsp);
  return dsp;
}

// The band-pass stage (400..1000 Hz CW, 1060..1660 Hz RTTY) is designed with the reducer's
// own length; the band-pass action keeps its calibrated one.
TEST(CwReducerSetup, LoadsShapingAndBandPass) {
  // CW and RTTY at 8000, then at 11025 Hz: band-pass taps and first three coefficients, then
  // the ten shaping coefficients.
  const std::vector<int32_t> expected[] = {
      {34, 14375, 9796, 2627, 2598, 3938, 4117, 3083, 1139, -1139, -3083, -4117, -3938, -2598},
      {34, 12856, -453, -11998, 4229, 2387, -1929, -4246, -2162, 2162, 4246, 1929, -2387, -4229},
      {46, 10644, 8809, 5575, 3999, 4032, 3435, 2302, 809, -809, -2302, -3435, -4032, -3999},
      {46, 10054, 4232, -3686, 3936, 3806, 1502, -1661, -3874, -3874, -1661, 1502, 3806, 3936}};
  for (int i = 0; i < 4; ++i) {
    auto dsp = FreshCwReducer(i < 2 ? 8000 : 11025, static_cast<uint8_t>(i % 2));
    const ReducteurCwState& r = dsp->ReducteurCw;
    std::vector<int32_t> actual{r.CwBandTapCount, dsp->Fir.coefficients[0],
                                dsp->Fir.coefficients[1], dsp->Fir.coefficients[2]};
    actual.insert(actual.end(), r.ShapingCoefficients.begin(), r.ShapingCoefficients.end());
    EXPECT_EQ(actual, expected[i]) << i;
    EXPECT_EQ(dsp->Fir.pairCount, r.CwBandTapCount / 2);
    EXPECT_EQ(dsp->PasseBande.BandPassTapCount, 1000);
  }
}

TEST(CwReducer, FullScaleStepFromClearedState) {
  auto dsp = FreshCwReducer(8000, 0);
  const auto out = test::Run(*dsp, CwReducerStep, std::vector<uint8_t>(400, 255));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 20),
            (std::vector<uint8_t>{127, 127, 127, 127, 127, 128, 128, 128, 130, 131,
                                  132, 130, 125, 114, 101, 87,  80,  83,  101, 130}));
  EXPECT_NEAR(out.back(), 127, 1);  // then it rings back towards the resting value
}

TEST(CwReducer, RemovesA2500HzTone) {
  for (int32_t rate : {8000, 11025}) {
    for (uint8_t mode : {0, 1}) {
      auto dsp = FreshCwReducer(rate, mode);
      const auto out = test::Run(*dsp, CwReducerStep,
                                 test::ToneBytes(2500.0, 100.0, rate, static_cast<size_t>(rate)));
      EXPECT_EQ(std::count(out.begin() + rate / 2, out.end(), 127), rate - rate / 2)
          << rate << " mode " << int{mode};
    }
  }
}

// Off: every byte passes, and neither reducer's adaptation moves.
TEST(Reducers, OffPassesEveryByteAndFreezesTheState) {
  auto dsp = FreshCwReducer(8000, 0);
  const auto input = test::RandomBytes(1000, 8);
  test::Run(*dsp, CwReducerStep, input);
  test::Run(*dsp, GeneralReducerStep, input);
  const auto cw = dsp->ReducteurCw.CwWeights;
  const auto general = dsp->ReducteurGeneral.GeneralWeights;
  dsp->ReducteurCw.CwReductionOff = true;
  dsp->ReducteurGeneral.VoiceReductionOff = true;
  EXPECT_EQ(test::Run(*dsp, CwReducerStep, input), input);
  EXPECT_EQ(test::Run(*dsp, GeneralReducerStep, input), input);
  EXPECT_EQ(dsp->ReducteurCw.CwWeights, cw);
  EXPECT_EQ(dsp->ReducteurGeneral.GeneralWeights, general);
}

// The set-up never clears the histories or weights: after a change of mode the output is not
// that of a fresh reducer.
TEST(CwReducer, ChangeOfModeKeepsTheAdaptation) {
  const auto after = test::ToneBytes(1360.0, 80.0, 8000, 300);
  auto used = FreshCwReducer(8000, 0);
  test::Run(*used, CwReducerStep, test::ToneBytes(700.0, 80.0, 8000, 600));
  const auto weights = used->ReducteurCw.CwWeights;
  used->ReducteurCw.CwRttyMode = 1;
  CwReducerSetup(*used);
  EXPECT_EQ(used->ReducteurCw.CwWeights, weights);
  auto fresh = FreshCwReducer(8000, 1);
  EXPECT_NE(test::Run(*used, CwReducerStep, after), test::Run(*fresh, CwReducerStep, after));
}

// Only the first P weights move; both reducers average the power over the window Q that the
// general reducer's set-up chose.
TEST(Reducers, SizesFollowTheGeneralReducersRate) {
  for (auto [rate, taps, window] : {std::tuple{8000, 20, 40}, std::tuple{11025, 27, 55}}) {
    auto dsp = FreshCwReducer(8000, 0);
    dsp->ReducteurGeneral.VoiceReducerSampleRate = rate;
    GeneralReducerSetup(*dsp);
    test::Run(*dsp, GeneralReducerStep, test::RandomBytes(500, 5));
    test::Run(*dsp, CwReducerStep, test::RandomBytes(500, 6));
    const ReducteurGeneralState& g = dsp->ReducteurGeneral;
    const auto& h = dsp->ReducteurCw.CwHistory;
    EXPECT_EQ(g.ReducerTaps, taps);
    EXPECT_EQ((std::array{g.GeneralWeights[taps - 1] != 0, g.GeneralWeights[taps] != 0,
                          g.GeneralHistory[window - 1] != 0, g.GeneralHistory[window] != 0,
                          h[window - 1] != 0, h[window] != 0}),
              (std::array{true, false, true, false, true, false}))
        << rate;
  }
}

// Full scale from a cleared state: 127 first (the weights start at 0), then the make-up gain
// of each level (100/77 weak, 100/51 strong) brings it up to 255.
TEST(GeneralReducer, FullScaleFromClearedState) {
  const std::pair<int32_t, std::vector<uint8_t>> cases[] = {{3, {127, 201, 240}},
                                                            {1, {127, 163, 192, 215, 232, 246}}};
  for (const auto& [level, head] : cases) {
    auto dsp = FreshGeneralReducer(8000, level);
    const auto out = test::Run(*dsp, GeneralReducerStep, std::vector<uint8_t>(200, 255));
    auto expected = head;
    expected.resize(200, 255);
    EXPECT_EQ(out, expected) << level;
  }
}

// A change to weak or strong runs the set-up: the adaptation restarts from nothing, so the
// output is that of a fresh reducer.
TEST(GeneralReducer, ChangeOfSettingRestartsTheAdaptation) {
  for (int32_t level : {1, 3}) {
    auto used = FreshGeneralReducer(8000, 4 - level);
    test::Run(*used, GeneralReducerStep, test::RandomBytes(700, 2));
    used->ReducteurGeneral.VoiceReductionLevel = level;
    GeneralReducerSetup(*used);
    auto fresh = FreshGeneralReducer(8000, level);
    const auto after = test::RandomBytes(700, 3);
    EXPECT_EQ(test::Run(*used, GeneralReducerStep, after),
              test::Run(*fresh, GeneralReducerStep, after))
        << level;
  }
}

}  // namespace
}  // namespace velunda
