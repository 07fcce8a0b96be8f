#include "dsp/reducteur_wiener_phonie.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "dsp/dsp_state.hpp"

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

std::vector<uint8_t> Reduce(DspState& dsp, const std::vector<uint8_t>& input) {
  std::vector<uint8_t> out;
  out.reserve(input.size());
  for (uint8_t s : input) {
    dsp.CurrentSample = s;
    GeneralReducerStep(dsp);
    out.push_back(dsp.CurrentSample);
  }
  return out;
}

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> v(n);
  for (auto& s : v) {
    s = static_cast<uint8_t>(byte(gen));
  }
  return v;
}

struct ConstantCase {
  int32_t level;
  uint8_t input;
  std::vector<uint8_t> expected;  // then `tail` until sample 200
  uint8_t tail;
};

class GeneralReducerConstant : public ::testing::TestWithParam<ConstantCase> {};

TEST_P(GeneralReducerConstant, OutputsFromClearedState) {
  const ConstantCase& c = GetParam();
  auto dsp = FreshReducer(8000, c.level);
  const auto out = Reduce(*dsp, std::vector<uint8_t>(200, c.input));
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t want = i < c.expected.size() ? c.expected[i] : c.tail;
    ASSERT_EQ(out[i], want) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(FullScale, GeneralReducerConstant,
                         ::testing::Values(ConstantCase{3, 255, {127, 201, 240}, 255},
                                           ConstantCase{
                                               1, 255, {127, 163, 192, 215, 232, 246}, 255}));

// From a cleared state the first output is 127 whatever the input: the weights start at 0.
TEST(GeneralReducer, FirstOutputIsMidScale) {
  for (int32_t level : {1, 3}) {
    for (int s : {0, 1, 77, 128, 200, 255}) {
      auto dsp = FreshReducer(8000, level);
      EXPECT_EQ(Reduce(*dsp, {static_cast<uint8_t>(s)}).front(), 127) << s;
    }
  }
}

// A constant 128 (x = 10) stays within one unit of 127.5. At strong reduction the make-up
// gain lifts it to 128 only while the power estimate is still 1 (fewer than 40 inputs of
// power 100 in the window).
TEST(GeneralReducer, ConstantMidScaleStaysWithinOneUnit) {
  auto weak = FreshReducer(8000, 3);
  for (uint8_t s : Reduce(*weak, std::vector<uint8_t>(2000, 128))) {
    ASSERT_TRUE(s == 127 || s == 128);
  }
  auto strong = FreshReducer(8000, 1);
  const auto out = Reduce(*strong, std::vector<uint8_t>(2000, 128));
  std::vector<size_t> raised;
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_TRUE(out[i] == 127 || out[i] == 128) << i;
    if (out[i] == 128) {
      raised.push_back(i);
    }
  }
  ASSERT_FALSE(raised.empty());
  EXPECT_GE(raised.front(), 25u);
  EXPECT_LE(raised.back(), 45u);
  EXPECT_EQ(raised.back() - raised.front() + 1, raised.size()) << "one stretch only";
}

TEST(GeneralReducer, SizesFollowTheRate) {
  struct Case {
    int32_t rate;
    int32_t taps;
    int32_t window;
  };
  for (const Case c : {Case{8000, 20, 40}, Case{11025, 27, 55}}) {
    auto dsp = FreshReducer(c.rate, 3);
    EXPECT_EQ(dsp->ReducteurGeneral.ReducerTaps, c.taps);
    EXPECT_EQ(dsp->Reducteurs.PowerWindow, c.window);
    // Only the first P weights ever move, and the power is averaged over the window.
    Reduce(*dsp, Noise(500, 5));
    for (int32_t i = c.taps; i < 100; ++i) {
      EXPECT_EQ(dsp->ReducteurGeneral.GeneralWeights[i], 0) << i;
    }
    EXPECT_NE(dsp->ReducteurGeneral.GeneralWeights[c.taps - 1], 0);
    EXPECT_EQ(dsp->ReducteurGeneral.GeneralHistory[c.window], 0);
    EXPECT_NE(dsp->ReducteurGeneral.GeneralHistory[c.window - 1], 0);
  }
}

TEST(GeneralReducer, OffPassesEveryByteAndFreezesTheState) {
  auto dsp = FreshReducer(8000, 1);
  Reduce(*dsp, Noise(300, 1));
  const auto weights = dsp->ReducteurGeneral.GeneralWeights;
  const auto history = dsp->ReducteurGeneral.GeneralHistory;
  dsp->ReducteurGeneral.VoiceReductionOff = true;
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) {
    all[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(Reduce(*dsp, all), all);
  EXPECT_EQ(dsp->ReducteurGeneral.GeneralWeights, weights);
  EXPECT_EQ(dsp->ReducteurGeneral.GeneralHistory, history);
}

// Moving to weak or strong runs the set-up: the adaptation restarts from nothing, so the
// output is that of a fresh reducer. Moving to "none" and back to weak does the same.
TEST(GeneralReducer, ChangeOfSettingRestartsTheAdaptation) {
  const auto before = Noise(700, 2);
  const auto after = Noise(700, 3);
  for (int32_t level : {1, 3}) {
    auto used = FreshReducer(8000, 4 - level);
    Reduce(*used, before);
    used->ReducteurGeneral.VoiceReductionLevel = level;
    GeneralReducerSetup(*used);
    auto fresh = FreshReducer(8000, level);
    EXPECT_EQ(Reduce(*used, after), Reduce(*fresh, after)) << "level " << level;
  }
}

}  // namespace
}  // namespace velunda
