#include "cli/mixer_table.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "config/configuration.hpp"
#include "platform/simulated_mixer.hpp"

namespace velunda {
namespace {

std::string Record(uint8_t input) {
  std::string r = DefaultConfiguration();
  r[kInputOffset] = static_cast<char>(input);
  return r;
}

struct TableCase {
  const char* name;
  MixerDescription (*card)();
  uint8_t input;
  const char* flags;  // the six values in order
  const char* message;
};

class Table : public ::testing::TestWithParam<TableCase> {};

TEST_P(Table, ShowsTheDiagnosesWithoutTouchingTheMixer) {
  const TableCase& c = GetParam();
  SimulatedMixer mixer(c.card());
  std::ostringstream out;
  PrintMixerTable(mixer, "essai", Record(c.input), out);
  const std::string text = out.str();
  const char* names[] = {"MixerFound",      "RecordingFound",      "PlaybackFound",
                         "WaveSourceFound", "RecordingInputFound", "PlaybackInputFound"};
  for (int k = 0; k < 6; ++k) {
    EXPECT_NE(text.find(std::string(names[k]) + " = " + c.flags[k] + "\n"), std::string::npos)
        << names[k] << "\n"
        << text;
  }
  EXPECT_NE(text.find(std::string("Message au démarrage : ") + c.message), std::string::npos);
  EXPECT_TRUE(mixer.Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Table,
    ::testing::Values(TableCase{"full", FullCardDescription, 1, "111111", "aucun"},
                      TableCase{"aux_line", AuxLineInCardDescription, 2, "111111", "aucun"},
                      TableCase{"no_recording", NoRecordingCardDescription, 3, "101101",
                                "PROBLÈME MIXER. PAS DE CONTRÔLE DE L'ENREGISTREMENT TROUVÉ!"},
                      TableCase{"no_mixer", NoMixerDescription, 1, "000000",
                                "PAS DE MIXER TROUVÉ!"}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST(Command, VirtualCardFindsEveryLine) {
  const std::filesystem::path program = VELUNDA_FILTRE;
  if (!std::filesystem::exists(program)) {
    GTEST_SKIP() << "velunda-filtre not built";
  }
  const std::string command =
      program.string() + " --table-de-mixage --carte virtuelle:entree.wav 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
    text.append(buffer, n);
  }
  EXPECT_EQ(::pclose(pipe), 0) << text;
  EXPECT_NE(text.find("PlaybackInputFound = 1"), std::string::npos) << text;
  EXPECT_NE(text.find("Message au démarrage : aucun"), std::string::npos) << text;
}

}  // namespace
}  // namespace velunda
