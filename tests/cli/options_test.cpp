#include "cli/options.hpp"

#include <gtest/gtest.h>

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

// The parsed settings as "name=value" words.
std::string Describe(const Options& o) {
  std::ostringstream d;
  d << " mode=" << static_cast<int>(o.mode) << " filtre=" << o.filterKind << " entree=" << o.input
    << " sortie=" << o.output << " fe=" << SampleRateOf(o) << " coupure=" << o.LowPassCutoff
    << " coupure-sans=" << o.LowPassBypass << " centre=" << o.BandPassCentre
    << " centre-sans=" << o.BandPassBypass << " largeur=" << o.BandPassWidth
    << " decalage=" << o.BfoShift << " inversion=" << o.BfoInverted
    << " coefficients=" << o.tapCount.value_or(0) << " frequence=" << o.NotchFrequency
    << " large=" << o.NotchWide << " auto=" << o.NotchAuto << " seuil=" << o.NotchThreshold
    << " diviseur=" << o.detectionDivisor.value_or(0) << " reduction-sans=" << o.VoiceReductionOff
    << " niveau=" << o.VoiceReductionLevel << " mode-sans=" << o.CwReductionOff
    << " rtty=" << int{o.CwRttyMode} << " carte=" << o.card
    << " duree=" << o.durationSeconds.value_or(0) << " brut=" << static_cast<int>(o.rawSample)
    << " fe-entree=" << o.inputRate << " fe-sortie=" << o.outputRate
    << " latence-courte=" << o.shortLatency << " ";
  return d.str();
}

TEST(Options, AcceptedCommandLinesSetTheFilterSettings) {
  const std::pair<const char*, const char*> cases[] = {
      {"passebas a.wav b.wav",
       "mode=0 filtre=PASSEBAS entree=a.wav sortie=b.wav fe=8000 coupure=1000 coupure-sans=0 "
       "coefficients=0"},
      {"PASSEBAS --coupure 3000 --fe 11025 --coefficients 2 a.u8 b.u8",
       "fe=11025 coupure=3000 coupure-sans=0 coefficients=2"},
      {"PASSEBAS --coupure SANS a b", "coupure=3100 coupure-sans=1"},
      {"PasseBande --centre=100 --largeur=2000 a b",
       "filtre=PASSEBANDE centre=100 centre-sans=0 largeur=2000"},
      {"PASSEBANDE --centre sans a b", "centre=3350 centre-sans=1 largeur=250"},
      {"BFO_NUMERIQUE --decalage -164 --inversion a b", "fe=6250 decalage=-164 inversion=1"},
      {"BFO_NUMERIQUE --fe 8000 --decalage 129 a b", "fe=8000 decalage=129 inversion=0"},
      {"REJECTEUR_PAR_TFD a b", "frequence=1000 large=1 auto=0 seuil=1001 diviseur=0"},
      {"REJECTEUR_PAR_TFD --frequence 3300 --etroite --auto --seuil très-haut --diviseur 4 a b",
       "frequence=3300 large=0 auto=1 seuil=20001 diviseur=4"},
      {"REJECTEUR_PAR_TFD --seuil Tres-Bas a b", "seuil=101"},
      {"REDUCTEUR_GENERAL --reduction forte a b", "reduction-sans=0 niveau=1"},
      {"REDUCTEUR_GENERAL --reduction sans a b", "reduction-sans=1 niveau=3"},
      {"REDUCTEUR_CW --mode RTTY a b", "mode-sans=0 rtty=1"},
      {"PASSEBAS --carte default --duree 2.5", "mode=1 carte=default duree=2.5"},
      {"PASSEBAS --carte default", "latence-courte=0"},
      {"REDUCTEUR_CW --carte default --latence courte", "mode=1 latence-courte=1"},
      {"BFO_NUMERIQUE --carte default --latence=Normale", "latence-courte=0"},
      {"--table-de-mixage --carte hw:1", "mode=2 filtre= carte=hw:1"},
      {"PASSEBAS --aide --nimporte", "mode=3"},
      {"PASSEBAS -- -entree.wav -sortie.wav", "entree=-entree.wav sortie=-sortie.wav"},
      {"PASSEBAS a.wav b.wav", "brut=0 fe-entree=0 fe-sortie=0"},
      {"REJECTEUR_PAR_TFD --auto --brut s16 --fe-entree 48000 --fe-sortie 48000 - -",
       "entree=- sortie=- brut=2 fe-entree=48000 fe-sortie=48000 fe=8000"},
      {"PASSEBAS --brut=U8 - b.wav", "brut=1 entree=- sortie=b.wav"},
      {"PASSEBAS --brut f32 --fe-sortie 1000000 a.flac -", "brut=3 fe-sortie=1000000"},
      {"BFO_NUMERIQUE --fe-sortie 1 - b.wav", "fe=6250 fe-sortie=1 brut=0"},
  };
  for (const auto& [line, expected] : cases) {
    Options o;
    const ParseResult r = ParseOptions(Split(line), o);
    ASSERT_TRUE(r.ok) << line << ": " << r.error;
    const std::string got = Describe(o);
    std::istringstream words(expected);
    for (std::string w; words >> w;) {
      EXPECT_NE(got.find(" " + w + " "), std::string::npos) << line << ": " << w << "\n" << got;
    }
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
      {"PASSEBAS --latence courte a b", "--latence ne s'utilise qu'avec --carte"},
      {"PASSEBAS --carte default --latence rapide", "--latence : \"rapide\" (normale ou courte)"},
      {"PASSEBAS --carte default --latence", "--latence demande une valeur"},
      {"--table-de-mixage --coupure 1000", "avec --table-de-mixage"},
      {"--table-de-mixage PASSEBAS", "argument en trop"},
      {"PASSEBAS --brut s24 - -", "--brut : \"s24\" (u8, s16 ou f32)"},
      {"PASSEBAS --brut - -", "--brut : \"-\""},
      {"PASSEBAS --brut s16 --fe-entree 0 - -", "--fe-entree : \"0\""},
      {"PASSEBAS --brut s16 --fe-entree 48k - -", "--fe-entree : \"48k\""},
      {"PASSEBAS --brut s16 --fe-entree -8000 - -", "--fe-entree"},
      {"PASSEBAS --fe-sortie 0 a b", "--fe-sortie : \"0\""},
      {"PASSEBAS --fe-sortie 1000001 a b", "--fe-sortie"},
      {"PASSEBAS --brut u8 a.u8 b.u8", "--brut demande - comme entrée ou comme sortie"},
      {"PASSEBAS --fe-entree 8000 - b.wav", "--fe-entree demande --brut"},
      {"PASSEBAS --brut s16 --fe-entree 8000 a.wav -", "--fe-entree demande --brut et -"},
      {"PASSEBAS --fe-sortie 8000 --carte default", "--fe-sortie ne s'utilise pas avec --carte"},
      {"PASSEBAS --brut u8 --carte default", "--brut ne s'utilise pas avec --carte"},
      {"--table-de-mixage --brut u8", "avec --table-de-mixage"},
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

// Every option of the table appears in the usage text with its value.
TEST(Options, UsageListsEveryOption) {
  const std::string usage = UsageText();
  for (const char* option : {"--fe HZ",          "--coupure HZ|sans", "--centre HZ|sans",
                             "--largeur HZ",     "--decalage N",      "--inversion",
                             "--coefficients N", "--frequence HZ",    "--etroite",
                             "--auto",           "--seuil S",         "--diviseur D",
                             "--reduction R",    "--mode M",          "--brut T",
                             "--fe-entree HZ",   "--fe-sortie HZ",    "--carte NOM",
                             "--duree S",        "--latence L",       "--table-de-mixage",
                             "--aide, -h"}) {
    EXPECT_NE(usage.find("\n  " + std::string(option) + " "), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace velunda
