#include "sessions/filter_screen.hpp"

#include <gtest/gtest.h>

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
  std::map<int, std::string> texts;  // the cells shown and their texts
  friend void PrintTo(const ScreenRow& row, std::ostream* os) { *os << row.name; }
};

class ScreenAsBuilt : public testing::TestWithParam<ScreenRow> {};

TEST_P(ScreenAsBuilt, ShowsExactlyItsCellsWithTheirTexts) {
  const ScreenRow& row = GetParam();
  auto state = std::make_unique<ProgramState>();
  state->OutputLevel = 20;
  // Another screen shown before, left visible: none of its text may remain in view.
  BuildRejectorScreen(*state);
  row.build(*state);
  std::map<int, std::string> common = {{8, "TOUCHES"},
                                       {9, "Fin (ou Click sur fenêtre)"},
                                       {10, "Curseurs verticaux"},
                                       {5, "Niveau de sortie BF (0 à 100 %):"},
                                       {4, "20"}};
  std::map<int, std::string> expected = row.texts;
  expected.insert(common.begin(), common.end());
  std::map<int, std::string> shown;
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    if (IsFilterScreenPanel(panel) && Panel(state->Window, panel).Visible) {
      shown[panel] = Panel(state->Window, panel).Text;
    }
  }
  EXPECT_EQ(shown, expected);
  EXPECT_FALSE(Panel(state->Window, 1).Visible);

  EndSession(*state);
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    EXPECT_FALSE(IsFilterScreenPanel(panel) && Panel(state->Window, panel).Visible) << panel;
  }
}

std::vector<ScreenRow> Screens() {
  return {
      {"LowPass",
       BuildLowPassScreen,
       {{2, "FILTRE PASSE-BAS EN SERVICE"},
        {7, "Abandon du filtre passe-bas"},
        {11, "Curseurs horizontaux"},
        {3, "Fréquence de coupure (300 à 3000 Hz):"},
        {6, "1000"}}},
      {"BandPass",
       BuildBandPassScreen,
       {{2, "FILTRE PASSE-BANDE EN SERVICE"},
        {7, "Abandon du filtre passe-bande"},
        {11, "Curseurs horizontaux"},
        {3, "Fréquence centrale (100 à 3300 Hz):"},
        {6, "800"},
        {12, "Touche de suppression"},
        {13, "Largeur de bande (120, 250, 500 ou 2000 Hz): "},
        {14, "250"},
        {16, "Touche d'insertion"},
        {17, "Recherche automatique de porteuse (CW): "},
        {18, "A l'arrêt"}}},
      {"GeneralReducer",
       BuildGeneralReducerScreen,
       {{2, "REDUCTEUR DE BRUIT GENE. EN SERVICE"},
        {7, "Abandon du réducteur de bruit"},
        {11, "Touche de suppression"},
        {3, "Niveau de réduction:"},
        {6, "réduction faible"}}},
      {"CwReducer",
       BuildCwReducerScreen,
       {{2, "REDUCTEUR DE BRUIT CW/RTTY "},
        {7, "Abandon du réducteur de bruit"},
        {11, "Touche de suppression"},
        {3, "CW ou RTTY 45 bauds (1275 à 1445 Hz):"},
        {6, "CW 0,4/1 KHz"}}},
      {"Bfo",
       BuildBfoScreen,
       {{2, "BFO_NUMERIQUE EN SERVICE"},
        {7, "Abandon du BFO numérique"},
        {11, "Curseurs horizontaux"},
        {3, "Translation de fréquence, en Hz:"},
        {6, "0"},
        {12, "Touche de suppression"},
        {13, "Inversion de spectre (USB-->LSB ou LSB-->USB)"},
        {14, "Normal"}}},
      {"Rejector",
       BuildRejectorScreen,
       {{2, "REJECTEUR MANU OU AUTO EN SERVICE"},
        {7, "Abandon du filtre réjecteur"},
        {11, "Curseurs horizontaux"},
        {3, "Fréquence de réjection (100 à 3300 Hz):"},
        {6, "1000"},
        {12, "Touche de suppression"},
        {13, "Filtre bande large ou bande étroite"},
        {14, "Bande large  "},
        {16, "Page down (bas)  "},
        {17, "Seuil du réjecteur automatique:"},
        {18, "Seuil bas"},
        {20, "Touche d'insertion"},
        {21, "Recherche automatique de la porteuse: "},
        {22, "A l'arrêt"},
        {23, "          "}}},
  };
}

INSTANTIATE_TEST_SUITE_P(EveryAction, ScreenAsBuilt, testing::ValuesIn(Screens()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velunda::test
