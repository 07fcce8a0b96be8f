#include "dsp/reducteur_wiener_phonie.hpp"

#include "test_support.hpp"

namespace velunda {
namespace {

std::unique_ptr<DspState> FreshReducer(int32_t rate, int32_t level) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurGeneral.VoiceReducerSampleRate = rate;
  dsp->ReducteurGeneral.VoiceReductionLevel = level;
  GeneralReducerSetup(*dsp);
  return dsp;
}

// Full scale from a cleared state: 127 first (the weights start at 0), then the make-up gain
// of each level (100/77 weak, 100/51 strong) brings it up to 255.
TEST(GeneralReducer, FullScaleFromClearedState) {
  const std::pair<int32_t, std::vector<uint8_t>> cases[] = {{3, {127, 201, 240}},
                                                            {1, {127, 163, 192, 215, 232, 246}}};
  for (const auto& [level, head] : cases) {
    auto dsp = FreshReducer(8000, level);
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
    auto used = FreshReducer(8000, 4 - level);
    test::Run(*used, GeneralReducerStep, test::RandomBytes(700, 2));
    used->ReducteurGeneral.VoiceReductionLevel = level;
    GeneralReducerSetup(*used);
    auto fresh = FreshReducer(8000, level);
    const auto after = test::RandomBytes(700, 3);
    EXPECT_EQ(test::Run(*used, GeneralReducerStep, after),
              test::Run(*fresh, GeneralReducerStep, after))
        << level;
  }
}

}  // namespace
}  // namespace velunda
