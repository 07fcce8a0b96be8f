#include "cli/mixer_table.hpp"

#include <sstream>

#include "cli/test_support.hpp"
#include "config/configuration.hpp"
#include "platform/simulated_mixer.hpp"

namespace velunda {
namespace {

std::string Record(uint8_t input) {
  std::string r = DefaultConfiguration();
  r[kInputOffset] = static_cast<char>(input);
  return r;
}

// The six diagnoses and the start-up message, the mixer left untouched.
TEST(Table, ShowsTheDiagnosesWithoutTouchingTheMixer) {
  const struct {
    MixerDescription (*card)();
    uint8_t input;
    const char* flags;  // the six values in order
    const char* message;
  } cases[] = {
      {FullCardDescription, 1, "111111", "aucun"},
      {AuxLineInCardDescription, 2, "111111", "aucun"},
      {NoRecordingCardDescription, 3, "101101",
       "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!"},
      {NoMixerDescription, 1, "000000", "PAS DE MIXER TROUVÉ!"},
      {[] {  // the microphone chosen, on a card that has none
         MixerDescription card = NoRecordingCardDescription();
         card.Destinations[0].Sources[2].ComponentType = 0x1005;
         return card;
       },
       3, "101100", "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!"},
  };
  const char* names[] = {"MixerFound",      "RecordingFound",      "PlaybackFound",
                         "WaveSourceFound", "RecordingInputFound", "PlaybackInputFound"};
  for (const auto& c : cases) {
    SimulatedMixer mixer(c.card());
    std::ostringstream out;
    PrintMixerTable(mixer, "essai", Record(c.input), out);
    const std::string text = out.str();
    for (int k = 0; k < 6; ++k) {
      EXPECT_NE(text.find(std::string(names[k]) + " = " + c.flags[k] + "\n"), std::string::npos)
          << names[k] << "\n"
          << text;
    }
    EXPECT_NE(text.find(std::string("Message au démarrage : ") + c.message), std::string::npos);
    EXPECT_TRUE(mixer.Writes().empty());
  }
}

TEST(Table, ListsLinesControlsAndValues) {
  SimulatedMixer mixer(AuxLineInCardDescription());
  std::ostringstream out;
  PrintMixerTable(mixer, "essai", Record(1), out);
  const std::string text = out.str();
  for (const char* expected :
       {"Destination 0 « Master » : type 0x4 haut-parleurs (DST_SPEAKERS), 2 canaux",
        "  Source 1 « Line In » : type 0x1009 auxiliaire (SRC_AUXILIARY)",
        "    VOLUME (0x50030001), plage 0 à 31, valeur 10 10",
        "    MUX (0x70010001), 3 entrée(s) : [ ] Stereo Mix [ ] Line In [x] Mic",
        "    UNSIGNED (0x30030000), plage 0 à 3, valeur 0 0"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

// The command reads the input choice from the configuration file and writes nothing.
class MixerCommand : public testing::WorkDir {};

TEST_F(MixerCommand, VirtualCardFindsEveryLine) {
  std::ofstream(Path(kConfigurationFileName), std::ios::binary) << Record(3);
  const auto r = Run("--table-de-mixage --carte virtuelle:entree.wav");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Entrée choisie : microphone\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PlaybackInputFound = 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Message au démarrage : aucun\n"), std::string::npos) << r.out;
  EXPECT_EQ(Listing(), std::set<std::string>{kConfigurationFileName});
  std::ifstream file(Path(kConfigurationFileName), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), Record(3));
}

}  // namespace
}  // namespace velunda
