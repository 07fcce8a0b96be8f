#include "sessions/filter_screen.hpp"

#include <gtest/gtest.h>

#include <set>

#include "session_rig.hpp"

namespace velunda::test {
namespace {

// ---- the output level ----

TEST(OutputLevel, LadderBothWays) {
  const std::vector<int> up = {0,  1,  2,  3,  4,  8,  12, 16,  20, 24,
                               28, 32, 36, 44, 52, 60, 80, 100, 100};
  for (size_t i = 0; i + 1 < up.size(); ++i) {
    EXPECT_EQ(LevelAbove(static_cast<uint8_t>(up[i])), up[i + 1]) << "up from " << up[i];
  }
  const std::vector<int> down = {100, 80, 60, 52, 44, 36, 32, 28, 24, 20,
                                 16,  12, 8,  4,  3,  2,  1,  0,  0};
  for (size_t i = 0; i + 1 < down.size(); ++i) {
    EXPECT_EQ(LevelBelow(static_cast<uint8_t>(down[i])), down[i + 1]) << "down from " << down[i];
  }
}

struct LevelRow {
  uint8_t level;
  int32_t speaker;
  uint16_t wave;
  friend void PrintTo(const LevelRow& row, std::ostream* os) { *os << int{row.level}; }
};

class ApplyLevel : public testing::TestWithParam<LevelRow> {};

// The volumes, and the loudspeaker and wave-output faders of the simulated card they reach.
TEST_P(ApplyLevel, SetsBothVolumesAndTheMixer) {
  const LevelRow& row = GetParam();
  SessionRig rig;
  rig.state->OutputLevel = row.level;
  Session session{*rig.state, rig.platform};
  ApplyOutputLevel(session);
  const MixerState& m = rig.state->MixerControl;
  EXPECT_EQ(m.SpeakerVolumeLeft, row.speaker);
  EXPECT_EQ(m.SpeakerVolumeRight, row.speaker);
  EXPECT_EQ(m.WaveOutputVolume, row.wave);
  EXPECT_EQ(m.Results.PlaybackFound, 1);
  EXPECT_EQ(m.Results.WaveSourceFound, 1);
  EXPECT_FALSE(rig.mixer.Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(Levels, ApplyLevel,
                         testing::Values(LevelRow{0, 4, 0}, LevelRow{3, 4, 60}, LevelRow{4, 4, 100},
                                         LevelRow{20, 20, 100}, LevelRow{100, 100, 100}),
                         [](const auto& info) {
                           return "Level" + std::to_string(info.param.level);
                         });

// ---- each screen as built ----

struct ScreenRow {
  std::string name;
  void (*build)(ProgramState&);
  std::string title;
  std::set<int> cells;  // the cells shown besides the title, the level and the End key's
  friend void PrintTo(const ScreenRow& row, std::ostream* os) { *os << row.name; }
};

class ScreenAsBuilt : public testing::TestWithParam<ScreenRow> {};

// Its own cells and none of the screen shown before, whose texts may not remain in view; none
// once the session ends.
TEST_P(ScreenAsBuilt, ShowsExactlyItsCells) {
  const ScreenRow& row = GetParam();
  auto state = std::make_unique<ProgramState>();
  state->OutputLevel = 20;
  BuildRejectorScreen(*state);
  row.build(*state);
  std::set<int> expected = row.cells;
  expected.insert({2, 4, 5, 8, 9, 10});
  std::set<int> shown;
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    if (IsFilterScreenPanel(panel) && Panel(state->Window, panel).Visible) {
      shown.insert(panel);
    }
  }
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(Panel(state->Window, 2).Text, row.title);
  EXPECT_EQ(Panel(state->Window, 4).Text, "20");
  EXPECT_FALSE(Panel(state->Window, 1).Visible);

  EndSession(*state);
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    EXPECT_FALSE(IsFilterScreenPanel(panel) && Panel(state->Window, panel).Visible) << panel;
  }
}

std::vector<ScreenRow> Screens() {
  using Row = ScreenRow;
  return {
      Row("LowPass", BuildLowPassScreen, "FILTRE PASSE-BAS EN SERVICE", {3, 6, 7, 11}),
      Row("BandPass", BuildBandPassScreen, "FILTRE PASSE-BANDE EN SERVICE",
          {3, 6, 7, 11, 12, 13, 14, 16, 17, 18}),
      Row("GeneralReducer", BuildGeneralReducerScreen, "REDUCTEUR DE BRUIT GENE. EN SERVICE",
          {3, 6, 7, 11}),
      Row("CwReducer", BuildCwReducerScreen, "REDUCTEUR DE BRUIT CW/RTTY ", {3, 6, 7, 11}),
      Row("Bfo", BuildBfoScreen, "BFO_NUMERIQUE EN SERVICE", {3, 6, 7, 11, 12, 13, 14}),
      Row("Rejector", BuildRejectorScreen, "REJECTEUR MANU OU AUTO EN SERVICE",
          {3, 6, 7, 11, 12, 13, 14, 16, 17, 18, 20, 21, 22, 23}),
  };
}

INSTANTIATE_TEST_SUITE_P(EveryAction, ScreenAsBuilt, testing::ValuesIn(Screens()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velunda::test
