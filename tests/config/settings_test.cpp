#include "config/settings.hpp"

#include "platform/simulated_mixer.hpp"
#include "working_dir.hpp"

namespace velunda {
namespace {

namespace mt = mixer_type;
using testing::InTempDir;

class RecordingProblems final : public MixerProblemReporter {
 public:
  void ReportMixerProblem(std::string_view message) override { reports.emplace_back(message); }
  std::vector<std::string> reports;
};

std::string Record(uint8_t gain, uint8_t input, uint8_t mode) {
  std::string r(7, ' ');
  r[1] = static_cast<char>(gain);
  r[4] = static_cast<char>(input);
  r[6] = static_cast<char>(mode);
  return r;
}

class Settings : public InTempDir {
 protected:
  void Start(MixerDescription card, const std::string& file) {
    mixer = std::make_unique<SimulatedMixer>(std::move(card));
    WriteFile("CONFVEL.SER", file);
    context.emplace(SettingsContext{config, settings, mixerState, *mixer, box, problems});
    LoadStartupSettings(*context);
  }
  StereoValue Value(size_t destination, int source, size_t control) {
    const auto& d = mixer->Description().Destinations[destination];
    const auto& line = source < 0 ? d.Line : d.Sources[static_cast<size_t>(source)];
    return line.Controls[control].Value;
  }

  ConfigurationState config;
  SettingsState settings;
  MixerState mixerState;
  std::unique_ptr<SimulatedMixer> mixer;
  RecordingMessageBox box;
  RecordingProblems problems;
  std::optional<SettingsContext> context;
};

struct LevelCase {
  const char* name;
  uint8_t gain, input;
  int32_t left, right, gainPercent;
  StereoValue recordingVolume;  // of the chosen input's recording line
  uint32_t gainRaw;
};

class Levels : public Settings, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(Levels, FollowTheInputAndTheGain) {
  const LevelCase& c = GetParam();
  Start(FullCardDescription(), Record(c.gain, c.input, 1));
  EXPECT_EQ(mixerState.LineVolumeLeft, c.left);
  EXPECT_EQ(mixerState.LineVolumeRight, c.right);
  EXPECT_EQ(mixerState.InputGainPercent, c.gainPercent);
  const int source = c.input == 3 ? 1 : 0;  // recording "Micro" or "Line In"
  EXPECT_EQ(Value(1, source, 0).Left, c.recordingVolume.Left);
  EXPECT_EQ(Value(1, source, 0).Right, c.recordingVolume.Right);
  EXPECT_EQ(Value(1, -1, 1).Left, c.gainRaw);
  EXPECT_TRUE(problems.reports.empty());
  EXPECT_TRUE(box.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, Levels,
    ::testing::Values(LevelCase{"right_x0_5", 5, 2, 0, 50, 0, {0, 32767}, 0},
                      LevelCase{"mic_x8", 8, 3, 100, 0, 100, {65535, 65535}, 65535},
                      LevelCase{"left_x0_25", 25, 1, 25, 0, 0, {16383, 0}, 0},
                      LevelCase{"left_x2", 2, 1, 100, 0, 34, {65535, 0}, 22281},
                      LevelCase{"right_x4", 4, 2, 0, 100, 67, {0, 65535}, 43908}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, CaptionsMarkTheChosenItems) {
  Start(FullCardDescription(), Record(4, 2, 2));
  const SettingsCaptions& c = settings.Captions;
  EXPECT_EQ(c.Software_adjustment, "Réglage par le logiciel");
  EXPECT_EQ(c.User_adjustment, "Réglage par l'utilisateur...choisi");
  EXPECT_EQ(c.Entree_Gauche, "Entrée ligne gauche");
  EXPECT_EQ(c.Entree_Droite, "Entrée ligne droite...choisie");
  EXPECT_EQ(c.Microphon, "Entrée microphone");
  const std::vector<std::string> gains = {c.x0_25, c.x0_5, c.x1, c.x2, c.x4, c.x8};
  EXPECT_EQ(gains,
            (std::vector<std::string>{"x 0,25", "x 0,5", "x 1", "x 2", "x 4...choisi", "x 8"}));
}

TEST_F(Settings, UserModeLeavesTheMixerAloneButTheGain) {
  Start(FullCardDescription(), Record(1, 1, 1));
  mixer->ClearCalls();
  ChooseMixerMode(*context, 2);
  EXPECT_EQ(settings.Captions.User_adjustment, "Réglage par l'utilisateur...choisi");
  EXPECT_EQ(settings.Captions.Software_adjustment, "Réglage par le logiciel");
  EXPECT_TRUE(mixer->Calls().empty());
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(1, 1, 2));

  ChooseInput(*context, 3);
  EXPECT_EQ(settings.Captions.Microphon, "Entrée microphone...choisie");
  EXPECT_TRUE(mixer->Calls().empty());
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(1, 3, 2));

  ChooseInputGain(*context, 8);
  EXPECT_EQ(settings.Captions.x8, "x 8...choisi");
  EXPECT_EQ(ReadFile("CONFVEL.SER"), Record(8, 3, 2));
  const uint32_t gain = mixer->ControlIdOf("Enregistrement", mt::kUnsigned);
  EXPECT_EQ(mixer->Writes(), (std::vector<MixerCall>{{"SetStereo", gain, {2, 65535, 65535}}}));
}

TEST_F(Settings, TheProgramsModeChecksTheMixerAgain) {
  Start(NoRecordingCardDescription(), Record(1, 1, 1));
  const std::string missing = "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!";
  // Once from the load, once from the start-up check.
  EXPECT_EQ(problems.reports, (std::vector<std::string>{missing, missing}));
  ChooseMixerMode(*context, 2);
  EXPECT_EQ(problems.reports.size(), 2u);
  ChooseMixerMode(*context, 1);
  EXPECT_EQ(problems.reports, (std::vector<std::string>{missing, missing, missing}));
}

TEST_F(Settings, NoMixerReportsOnlyThat) {
  Start(NoMixerDescription(), Record(1, 1, 1));
  EXPECT_EQ(problems.reports,
            (std::vector<std::string>{"PAS DE MIXER TROUVÉ!", "PAS DE MIXER TROUVÉ!"}));
}

TEST_F(Settings, StartUpSavesTheMixerOnceAndRestoresIt) {
  const MixerDescription original = FullCardDescription();
  Start(original, Record(2, 3, 1));
  ChooseInput(*context, 1);
  ChooseInputGain(*context, 8);
  RestoreMixer(*mixer, mixerState);
  // Loudspeaker, wave, both input mutes, the recording list and line input are back.
  const auto& now = mixer->Description();
  const auto& was = original.Destinations;
  EXPECT_EQ(now.Destinations[0].Line.Controls[0].Value.Left, was[0].Line.Controls[0].Value.Left);
  EXPECT_EQ(now.Destinations[0].Line.Controls[1].Switch, was[0].Line.Controls[1].Switch);
  EXPECT_EQ(now.Destinations[0].Sources[0].Controls[0].Value.Left,
            was[0].Sources[0].Controls[0].Value.Left);
  EXPECT_EQ(now.Destinations[0].Sources[1].Controls[1].Switch,
            was[0].Sources[1].Controls[1].Switch);
  EXPECT_EQ(now.Destinations[0].Sources[2].Controls[1].Switch,
            was[0].Sources[2].Controls[1].Switch);
  EXPECT_EQ(now.Destinations[1].Line.Controls[0].Selection, was[1].Line.Controls[0].Selection);
  EXPECT_EQ(now.Destinations[1].Sources[0].Controls[0].Value.Left,
            was[1].Sources[0].Controls[0].Value.Left);
  // The check at load time runs before the input is applied, with the line input: the
  // microphone's recording volume was first set later, so it is not saved.
  EXPECT_EQ(now.Destinations[1].Sources[1].Controls[0].Value.Left, 65535u);
  EXPECT_EQ(now.Destinations[1].Line.Controls[1].Value.Left, 0u);
}

TEST(ProblemMessage, FirstMissingItemInOrder) {
  struct Case {
    MixerResults flags;
    std::string message;
  };
  const Case cases[] = {
      {{0, 0, 0, 0, 0, 0}, "PAS DE MIXER TROUVÉ!"},
      {{1, 0, 0, 0, 0, 0}, "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!"},
      {{1, 1, 0, 0, 0, 0}, "PROBLÈME MIXER. PAS DE CONTRÔLE DU VOLUME TROUVÉ!"},
      {{1, 1, 1, 0, 0, 0}, "PROBLÈME MIXER. PAS D'ENTRÉE SON (WAVE) TROUVÉE!"},
      {{1, 1, 1, 1, 0, 0}, "PROBLÈME MIXER. PAS D'ENTRÉE LIGNE EN ENREGISTREMENT TROUVÉE!"},
      {{1, 1, 1, 1, 1, 0}, "PROBLÈME MIXER. PAS D'ENTRÉE LIGNE EN RESTITUTION TROUVÉE!"},
      {{1, 1, 1, 1, 1, 1}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MixerProblemMessage(c.flags), c.message);
  }
}

}  // namespace
}  // namespace velunda
