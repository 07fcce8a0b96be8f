#include "config/settings.hpp"

#include "platform/simulated_mixer.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

namespace mt = mixer_type;

class RecordingProblems final : public MixerProblemReporter {
 public:
  void ReportMixerProblem(std::string_view message) override { reports.emplace_back(message); }
  std::vector<std::string> reports;
};

class Settings : public testing::InTempDir {
 protected:
  // A fresh start-up on this card with this configuration file.
  void Start(MixerDescription card, const std::string& file) {
    config = {};
    settings = {};
    mixerState = {};
    problems.reports.clear();
    mixer = std::make_unique<SimulatedMixer>(std::move(card));
    WriteFile("CONFVEL.SER", file);
    context.emplace(SettingsContext{config, settings, mixerState, *mixer, box, problems});
    LoadStartupSettings(*context);
  }
  StereoValue Value(size_t destination, int source, size_t control) {
    const auto& d = mixer->Description().Destinations[destination];
    return (source < 0 ? d.Line : d.Sources[static_cast<size_t>(source)]).Controls[control].Value;
  }

  ConfigurationState config;
  SettingsState settings;
  MixerState mixerState;
  std::unique_ptr<SimulatedMixer> mixer;
  RecordingMessageBox box;
  RecordingProblems problems;
  std::optional<SettingsContext> context;
};

// The input's recording line gets the line volumes (one side for a line, the left for the
// microphone) at the gain's level; the recording gain follows the gain code.
TEST_F(Settings, LevelsFollowTheInputAndTheGain) {
  const struct {
    uint8_t gain, input;
    uint32_t left, right, gainRaw;
  } cases[] = {
      {5, 2, 0, 32767, 0},     {8, 3, 65535, 65535, 65535}, {25, 1, 16383, 0, 0},
      {2, 1, 65535, 0, 22281}, {4, 2, 0, 65535, 43908},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.gain) + " " + std::to_string(c.input));
    Start(FullCardDescription(), Record(c.gain, c.input, 1));
    const int source = c.input == 3 ? 1 : 0;  // recording "Micro" or "Line In"
    EXPECT_EQ(Value(1, source, 0).Left, c.left);
    EXPECT_EQ(Value(1, source, 0).Right, c.right);
    EXPECT_EQ(Value(1, -1, 1).Left, c.gainRaw);
    EXPECT_TRUE(problems.reports.empty());
    EXPECT_TRUE(box.messages.empty());
  }
}

// In the user's mode (here from the file) the menu choices mark their item and are saved, but
// leave the mixer alone, all but the gain.
TEST_F(Settings, UserModeLeavesTheMixerAloneButTheGain) {
  Start(FullCardDescription(), Record(4, 2, 2));
  auto captions = [this] {
    const SettingsCaptions& c = settings.Captions;
    std::string all;
    for (const auto& caption :
         {c.Software_adjustment, c.User_adjustment, c.Entree_Gauche, c.Entree_Droite, c.Microphon,
          c.x0_25, c.x0_5, c.x1, c.x2, c.x4, c.x8}) {
      all += caption + "|";
    }
    return all;
  };
  EXPECT_EQ(
      captions(),
      "Réglage par le logiciel|Réglage par l'utilisateur...choisi|Entrée ligne gauche|"
      "Entrée ligne droite...choisie|Entrée microphone|x 0,25|x 0,5|x 1|x 2|x 4...choisi|x 8|");
  mixer->ClearCalls();
  ChooseInput(*context, 3);
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(4, 3, 2));
  EXPECT_TRUE(mixer->Calls().empty());
  ChooseInputGain(*context, 8);
  EXPECT_EQ(
      captions(),
      "Réglage par le logiciel|Réglage par l'utilisateur...choisi|Entrée ligne gauche|"
      "Entrée ligne droite|Entrée microphone...choisie|x 0,25|x 0,5|x 1|x 2|x 4|x 8...choisi|");
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(8, 3, 2));
  const uint32_t gain = mixer->ControlIdOf("Enregistrement", mt::kUnsigned);
  EXPECT_EQ(mixer->Writes(), (std::vector<MixerCall>{{"SetStereo", gain, {2, 65535, 65535}}}));
}

// The problem is reported by the load and by the start-up check, and again each time the
// program's mode is chosen.
TEST_F(Settings, TheProgramsModeChecksTheMixerAgain) {
  const std::pair<MixerDescription (*)(), std::string> cases[] = {
      {NoRecordingCardDescription, "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!"},
      {NoMixerDescription, "PAS DE MIXER TROUVÉ!"},
  };
  for (const auto& [card, problem] : cases) {
    Start(card(), Record(1, 1, 1));
    EXPECT_EQ(problems.reports, (std::vector<std::string>{problem, problem}));
    ChooseMixerMode(*context, 2);
    EXPECT_EQ(problems.reports.size(), 2u);
    ChooseMixerMode(*context, 1);
    EXPECT_EQ(problems.reports, (std::vector<std::string>{problem, problem, problem}));
  }
}

}  // namespace
}  // namespace velunda
