#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace velunda {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) {
    words.push_back(w);
  }
  return words;
}

struct Accepted {
  std::string line;
  std::function<void(const Options&)> check;
};

TEST(Options, AcceptedCommandLinesSetTheFilterSettings) {
  const std::vector<Accepted> cases = {
      {"passebas a.wav b.wav",
       [](const Options& o) {
         EXPECT_EQ(o.mode, CommandMode::Offline);
         EXPECT_EQ(o.filterKind, "PASSEBAS");
         EXPECT_EQ(o.input, "a.wav");
         EXPECT_EQ(o.output, "b.wav");
         EXPECT_EQ(SampleRateOf(o), 8000);
         EXPECT_EQ(o.LowPassCutoff, 1000.0);
         EXPECT_FALSE(o.tapCount.has_value());
       }},
      {"PASSEBAS --coupure 3000 --fe 11025 --coefficients 2 a.u8 b.u8",
       [](const Options& o) {
         EXPECT_EQ(o.LowPassCutoff, 3000.0);
         EXPECT_FALSE(o.LowPassBypass);
         EXPECT_EQ(SampleRateOf(o), 11025);
         EXPECT_EQ(o.tapCount, 2);
       }},
      {"PASSEBAS --coupure SANS a b",
       [](const Options& o) {
         EXPECT_TRUE(o.LowPassBypass);
         EXPECT_EQ(o.LowPassCutoff, 3100.0);
       }},
      {"PasseBande --centre=100 --largeur=2000 a b",
       [](const Options& o) {
         EXPECT_EQ(o.filterKind, "PASSEBANDE");
         EXPECT_EQ(o.BandPassCentre, 100);
         EXPECT_EQ(o.BandPassWidth, 2000.0);
         EXPECT_FALSE(o.BandPassBypass);
       }},
      {"PASSEBANDE --centre sans a b",
       [](const Options& o) {
         EXPECT_TRUE(o.BandPassBypass);
         EXPECT_EQ(o.BandPassCentre, 3350);
         EXPECT_EQ(o.BandPassWidth, 250.0);
       }},
      {"BFO_NUMERIQUE --decalage -164 --inversion a b",
       [](const Options& o) {
         EXPECT_EQ(SampleRateOf(o), 6250);
         EXPECT_EQ(o.BfoShift, -164);
         EXPECT_TRUE(o.BfoInverted);
       }},
      {"BFO_NUMERIQUE --fe 8000 --decalage 129 a b",
       [](const Options& o) { EXPECT_EQ(o.BfoShift, 129); }},
      {"PASSEBAS --carte default --duree 2.5",
       [](const Options& o) {
         EXPECT_EQ(o.mode, CommandMode::Live);
         EXPECT_EQ(o.card, "default");
         EXPECT_EQ(o.durationSeconds, 2.5);
       }},
      {"--table-de-mixage --carte hw:1",
       [](const Options& o) {
         EXPECT_EQ(o.mode, CommandMode::MixerTable);
         EXPECT_EQ(o.card, "hw:1");
       }},
      {"PASSEBAS --aide --nimporte",
       [](const Options& o) { EXPECT_EQ(o.mode, CommandMode::Help); }},
      {"PASSEBAS -- -entree.wav -sortie.wav",
       [](const Options& o) {
         EXPECT_EQ(o.input, "-entree.wav");
         EXPECT_EQ(o.output, "-sortie.wav");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Options o;
    const ParseResult r = ParseOptions(Split(c.line), o);
    ASSERT_TRUE(r.ok) << r.error;
    c.check(o);
  }
}

// Each refused line, with a piece of the message that must name the fault.
TEST(Options, RefusedCommandLinesSayWhy) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "il manque le nom du filtre"},
      {"PASSEBAS a.wav", "fichier d'entrée et un fichier de sortie"},
      {"PASSEBAS a b c", "argument en trop : c"},
      {"FILTREX a b", "filtre inconnu : FILTREX"},
      {"PASSEBAS --vitesse 2 a b", "option inconnue : --vitesse"},
      {"PASSEBAS -x a b", "option inconnue : -x"},
      {"PASSEBAS a b --coupure", "--coupure demande une valeur"},
      {"PASSEBAS --coupure 1000 --coupure 900 a b", "deux fois"},
      {"PASSEBAS --coupure 250 a b", "--coupure : \"250\""},
      {"PASSEBAS --coupure 3100 a b", "--coupure"},
      {"PASSEBAS --coupure 1050 a b", "--coupure"},
      {"PASSEBAS --coupure 1000Hz a b", "--coupure"},
      {"PASSEBANDE --centre 3400 a b", "--centre"},
      {"PASSEBANDE --centre 125 a b", "--centre"},
      {"PASSEBANDE --largeur 1000 a b", "--largeur"},
      {"PASSEBAS --coefficients 1002 a b", "--coefficients"},
      {"PASSEBAS --coefficients 0 a b", "--coefficients"},
      {"PASSEBAS --coefficients 11 a b", "--coefficients"},
      {"PASSEBAS --fe 6250 a b", "8000 ou 11025"},
      {"PASSEBAS --fe 44100 a b", "--fe"},
      {"BFO_NUMERIQUE --fe 11025 a b", "6250 ou 8000"},
      {"BFO_NUMERIQUE --decalage 165 a b", "de -164 à 164"},
      {"BFO_NUMERIQUE --decalage -130 --fe 8000 a b", "de -129 à 129"},
      {"BFO_NUMERIQUE --inversion --fe 8000 a b", "6250"},
      {"PASSEBAS --centre 1000 a b", "--centre ne s'applique pas au filtre PASSEBAS"},
      {"PASSEBANDE --decalage 3 a b", "--decalage ne s'applique pas"},
      {"BFO_NUMERIQUE --coefficients 100 a b", "--coefficients ne s'applique pas"},
      {"PASSEBAS --inversion=oui a b", "ne prend pas de valeur"},
      {"PASSEBAS --duree 3 a b", "--duree ne s'utilise qu'avec --carte"},
      {"PASSEBAS --carte default --duree 0", "--duree"},
      {"PASSEBAS --carte default --duree nan", "--duree"},
      {"PASSEBAS --carte default a b", "avec --carte"},
      {"--table-de-mixage --coupure 1000", "avec --table-de-mixage"},
      {"--table-de-mixage PASSEBAS", "argument en trop"},
  };
  for (const auto& [line, expected] : cases) {
    SCOPED_TRACE(line);
    Options o;
    const ParseResult r = ParseOptions(Split(line), o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(expected), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace velunda
