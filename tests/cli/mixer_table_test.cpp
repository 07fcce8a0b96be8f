#include "cli/mixer_table.hpp"

#include <sys/stat.h>

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

// The command reads the input choice from the configuration file, shows on stderr the notices
// the program would show at start-up (a FIFO does not hang it), and writes nothing; as root and
// as an unprivileged user.
class MixerCommand : public testing::WorkDir {};

TEST_F(MixerCommand, ReadsTheConfigurationWithStartupNotices) {
  const auto missing = [](const std::string& file) {
    return "Pas de présence du fichier de configuration " + file +
           ", donc paramètres par défaut.\n";
  };
  const std::string altered =
      "Le fichier de configuration CONFVEL.SER est altéré, donc paramètres par défaut.\n";
  const std::string unopened = "Impossible d'ouvrir le fichier CONFVEL.SER en lecture.\n";
  enum Kind { Absent, Content, Fifo };
  const struct {
    const char* name;
    Kind kind;
    std::string content;
    mode_t mode;
    bool unprivileged;
    const char* input;
    std::string notices;
    std::string options = "";
  } cases[] = {
      {"Valid", Content, Record(3), 0644, false, "microphone", ""},
      {"ValidUnprivileged", Content, Record(2), 0644, true, "ligne droite", ""},
      {"Damaged", Content, "abc", 0644, false, "ligne gauche", altered},
      {"Absent", Absent, "", 0, false, "ligne gauche",
       missing(Path(".config/velunda/CONFVEL.SER"))},
      {"UnreadableUnprivileged", Content, Record(3), 0000, true, "ligne gauche",
       missing("CONFVEL.SER")},
      {"OtherFileGiven", Content, Record(3), 0644, false, "ligne gauche", missing("r.ser"),
       " --config r.ser"},
      {"Fifo", Fifo, "", 0644, false, "ligne gauche", unopened + altered},
  };
  ::chmod(dir_.c_str(), 0777);
  const std::string file = Path(kConfigurationFileName);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.unprivileged && ::getuid() != 0) {
      std::cout << "SKIPPED " << c.name << ": needs root to become nobody\n";
      continue;
    }
    std::filesystem::remove(file);
    if (c.kind == Content) {
      std::ofstream(file, std::ios::binary) << c.content;
      ::chmod(file.c_str(), c.mode);
    } else if (c.kind == Fifo) {
      ASSERT_EQ(::mkfifo(file.c_str(), c.mode), 0);
    }
    RunSetup setup;
    setup.unprivileged = c.unprivileged;
    const auto r = Run("--table-de-mixage --carte virtuelle:entree.wav" + c.options, setup);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("Entrée choisie : ") + c.input + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("PlaybackInputFound = 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, c.notices);
    if (c.kind == Absent) {
      EXPECT_TRUE(Listing().empty());
    } else {
      EXPECT_EQ(Listing(), std::set<std::string>{kConfigurationFileName});
    }
    if (c.kind == Content) {
      ::chmod(file.c_str(), 0644);
      std::ifstream in(file, std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.content);
    }
  }
}

}  // namespace
}  // namespace velunda
