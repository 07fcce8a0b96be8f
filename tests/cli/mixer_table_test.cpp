#include "cli/mixer_table.hpp"

#include <iostream>
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

// The command reads the input choice from the settings file the program would use (or the one
// --config names), shows the start-up notices on stderr and writes nothing. (What each kind of
// file gives is the configuration's own tests.)
class MixerCommand : public testing::WorkDir {};

TEST_F(MixerCommand, ReadsTheConfigurationAndWritesNothing) {
  const struct {
    const char* name;
    const char* file;
    std::string content;
    const char* options;
    const char* input;
    std::string notices;
  } cases[] = {
      {"WorkingDirectory", "CONFVEL.SER", Record(3), "", "microphone", ""},
      {"OtherFileGiven", "r.ser", Record(2), " --config r.ser", "ligne droite", ""},
      {"Damaged", "CONFVEL.SER", "abc", "", "ligne gauche",
       "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Path("CONFVEL.SER"));
    std::filesystem::remove(Path("r.ser"));
    WriteBytes(c.file, testing::Bytes(c.content.begin(), c.content.end()));
    const auto r = Run(std::string("--table-de-mixage --carte virtuelle:entree.wav") + c.options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("Entrée choisie : ") + c.input + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("PlaybackInputFound = 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, c.notices);
    EXPECT_EQ(Listing(), std::set<std::string>{c.file});
    EXPECT_EQ(ReadBytes(c.file), testing::Bytes(c.content.begin(), c.content.end()));
  }
}

}  // namespace
}  // namespace velunda
