#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "app/option_reader.hpp"

namespace velunda {
namespace {

// Parses a line that begins with the program's name as that program does: velunda-filtre its
// whole command line, velunda (which takes nothing else) its options.
bool Parse(const std::string& line, Options& o, std::string& error) {
  std::istringstream in(line);
  std::string program;
  in >> program;
  std::vector<std::string> words;
  for (std::string w; in >> w;) {
    words.push_back(w);
  }
  if (program == "velunda") {
    error = ParseOnlyOptions(Program::Velunda, words, o);
    return error.empty();
  }
  const ParseResult r = ParseOptions(words, o);
  error = r.error;
  return r.ok;
}

// The parsed settings as "name=value" words.
std::string Describe(const Options& o) {
  std::ostringstream d;
  d << " mode=" << static_cast<int>(o.mode) << " requete=" << static_cast<int>(o.request)
    << " filtre=" << o.filterKind << " entree=" << o.input << " sortie=" << o.output
    << " fe=" << SampleRateOf(o) << " coupure=" << o.LowPassCutoff
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

TEST(Options, AcceptedCommandLinesSetTheSettings) {
  const std::pair<const char*, const char*> cases[] = {
      {"velunda-filtre passebas a.wav b.wav",
       "mode=0 filtre=PASSEBAS entree=a.wav sortie=b.wav fe=8000 coupure=1000 coupure-sans=0 "
       "coefficients=0"},
      {"velunda-filtre PASSEBAS --coupure 3000 --fe 11025 --coefficients 2 a.u8 b.u8",
       "fe=11025 coupure=3000 coupure-sans=0 coefficients=2"},
      {"velunda-filtre PASSEBAS --coupure SANS a b", "coupure=3100 coupure-sans=1"},
      {"velunda-filtre PasseBande --centre=100 --largeur=2000 a b",
       "filtre=PASSEBANDE centre=100 centre-sans=0 largeur=2000"},
      {"velunda-filtre PASSEBANDE --centre sans a b", "centre=3350 centre-sans=1 largeur=250"},
      {"velunda-filtre BFO_NUMERIQUE --decalage -164 --inversion a b",
       "fe=6250 decalage=-164 inversion=1"},
      {"velunda-filtre BFO_NUMERIQUE --fe 8000 --decalage 129 a b", "fe=8000 decalage=129"},
      {"velunda-filtre REJECTEUR_PAR_TFD a b", "frequence=1000 large=1 auto=0 seuil=1001"},
      {"velunda-filtre REJECTEUR_PAR_TFD --frequence 3300 --etroite --auto --seuil très-haut "
       "--diviseur 4 a b",
       "frequence=3300 large=0 auto=1 seuil=20001 diviseur=4"},
      {"velunda-filtre REJECTEUR_PAR_TFD --seuil Tres-Bas a b", "seuil=101"},
      {"velunda-filtre REDUCTEUR_GENERAL --reduction forte a b", "reduction-sans=0 niveau=1"},
      {"velunda-filtre REDUCTEUR_GENERAL --reduction sans a b", "reduction-sans=1 niveau=3"},
      {"velunda-filtre REDUCTEUR_CW --mode RTTY a b", "mode-sans=0 rtty=1"},
      {"velunda-filtre PASSEBAS --carte default --duree 2.5", "mode=1 carte=default duree=2.5"},
      {"velunda-filtre REDUCTEUR_CW --carte default --latence courte", "mode=1 latence-courte=1"},
      {"velunda-filtre BFO_NUMERIQUE --carte default --latence=Normale", "latence-courte=0"},
      {"velunda-filtre --table-de-mixage --carte hw:1", "mode=2 filtre= carte=hw:1"},
      {"velunda-filtre PASSEBAS --aide --nimporte", "mode=3 requete=1"},
      {"velunda-filtre --help", "mode=3"},
      {"velunda-filtre -h", "mode=3"},
      {"velunda-filtre --version PASSEBAS", "mode=4 requete=2"},
      {"velunda-filtre -V", "mode=4"},
      {"velunda-filtre PASSEBAS -- -entree.wav -sortie.wav",
       "entree=-entree.wav sortie=-sortie.wav"},
      {"velunda-filtre PASSEBAS a.wav b.wav", "brut=0 fe-entree=0 fe-sortie=0"},
      {"velunda-filtre REJECTEUR_PAR_TFD --auto --brut s16 --fe-entree 48000 --fe-sortie 48000 - -",
       "entree=- sortie=- brut=2 fe-entree=48000 fe-sortie=48000 fe=8000"},
      {"velunda-filtre PASSEBAS --brut=U8 - b.wav", "brut=1 entree=- sortie=b.wav"},
      {"velunda-filtre PASSEBAS --brut f32 --fe-sortie 1000000 a.flac -",
       "brut=3 fe-sortie=1000000"},
      {"velunda-filtre BFO_NUMERIQUE --fe-sortie 1 - b.wav", "fe=6250 fe-sortie=1 brut=0"},
      {"velunda", "requete=0 carte= latence-courte=0"},
      {"velunda --latence=courte --carte virtuelle:a.wav",
       "carte=virtuelle:a.wav latence-courte=1"},
      {"velunda -h --vite", "requete=1"},
      {"velunda --version", "requete=2"},
  };
  for (const auto& [line, expected] : cases) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse(line, o, error)) << line << ": " << error;
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
      {"velunda-filtre", "il manque le nom du filtre"},
      {"velunda-filtre PASSEBAS a.wav", "fichier d'entrée et un fichier de sortie"},
      {"velunda-filtre PASSEBAS a b c", "argument en trop : c"},
      {"velunda-filtre FILTREX a b", "filtre inconnu : FILTREX"},
      {"velunda-filtre PASSEBAS --vitesse 2 a b", "option inconnue : --vitesse"},
      {"velunda-filtre PASSEBAS -x a b", "option inconnue : -x"},
      {"velunda-filtre PASSEBAS a b --coupure", "l'option --coupure demande une valeur"},
      {"velunda-filtre PASSEBAS --coupure 1000 --coupure 900 a b",
       "--coupure est donnée deux fois"},
      {"velunda-filtre PASSEBAS --coupure 250 a b",
       "valeur incorrecte pour --coupure : « 250 » (300 à 3000 Hz par pas de 100, ou sans)"},
      {"velunda-filtre PASSEBAS --coupure 3100 a b", "--coupure"},
      {"velunda-filtre PASSEBAS --coupure 1050 a b", "--coupure"},
      {"velunda-filtre PASSEBAS --coupure 1000Hz a b", "--coupure"},
      {"velunda-filtre PASSEBANDE --centre 3400 a b", "(100 à 3300 Hz par pas de 50, ou sans)"},
      {"velunda-filtre PASSEBANDE --centre 125 a b", "--centre"},
      {"velunda-filtre PASSEBANDE --largeur 1000 a b", "--largeur"},
      {"velunda-filtre PASSEBAS --coefficients 1002 a b", "--coefficients"},
      {"velunda-filtre PASSEBAS --coefficients 0 a b", "--coefficients"},
      {"velunda-filtre PASSEBAS --coefficients 11 a b", "--coefficients"},
      {"velunda-filtre PASSEBAS --fe 6250 a b", "(8000 ou 11025 Hz)"},
      {"velunda-filtre PASSEBAS --fe 44100 a b", "--fe : « 44100 » (8000 ou 11025 Hz)"},
      {"velunda-filtre BFO_NUMERIQUE --fe 11025 a b", "(6250 ou 8000 Hz pour le BFO)"},
      {"velunda-filtre BFO_NUMERIQUE --decalage 165 a b", "de -164 à 164"},
      {"velunda-filtre BFO_NUMERIQUE --decalage -130 --fe 8000 a b", "de -129 à 129"},
      {"velunda-filtre BFO_NUMERIQUE --inversion --fe 8000 a b", "6250"},
      {"velunda-filtre PASSEBAS --centre 1000 a b",
       "--centre ne s'applique pas au filtre PASSEBAS"},
      {"velunda-filtre PASSEBANDE --decalage 3 a b", "--decalage ne s'applique pas"},
      {"velunda-filtre BFO_NUMERIQUE --coefficients 100 a b", "--coefficients ne s'applique pas"},
      {"velunda-filtre PASSEBAS --inversion=oui a b", "ne prend pas de valeur"},
      {"velunda-filtre PASSEBAS --duree 3 a b", "--duree ne s'utilise qu'avec --carte"},
      {"velunda-filtre PASSEBAS --carte default --duree 0", "--duree"},
      {"velunda-filtre PASSEBAS --carte default --duree nan", "--duree"},
      {"velunda-filtre PASSEBAS --carte default a b", "avec --carte"},
      {"velunda-filtre PASSEBAS --latence courte a b", "--latence ne s'utilise qu'avec --carte"},
      {"velunda-filtre PASSEBAS --carte default --latence rapide",
       "--latence : « rapide » (normale ou courte)"},
      {"velunda-filtre --table-de-mixage --coupure 1000", "avec --table-de-mixage"},
      {"velunda-filtre --table-de-mixage --fe 6250", "--fe ne s'utilise pas avec --table"},
      {"velunda-filtre --table-de-mixage PASSEBAS", "argument en trop"},
      {"velunda-filtre PASSEBAS --brut s24 - -", "--brut : « s24 » (u8, s16 ou f32)"},
      {"velunda-filtre PASSEBAS --brut - -", "--brut : « - »"},
      {"velunda-filtre PASSEBAS --brut s16 --fe-entree 0 - -", "--fe-entree : « 0 »"},
      {"velunda-filtre PASSEBAS --brut s16 --fe-entree 48k - -", "--fe-entree : « 48k »"},
      {"velunda-filtre PASSEBAS --brut s16 --fe-entree -8000 - -", "--fe-entree"},
      {"velunda-filtre PASSEBAS --fe-sortie 0 a b", "--fe-sortie : « 0 »"},
      {"velunda-filtre PASSEBAS --fe-sortie 1000001 a b", "--fe-sortie"},
      {"velunda-filtre PASSEBAS --brut u8 a.u8 b.u8", "--brut demande - comme entrée ou"},
      {"velunda-filtre PASSEBAS --fe-entree 8000 - b.wav", "--fe-entree demande --brut"},
      {"velunda-filtre PASSEBAS --brut s16 --fe-entree 8000 a.wav -", "demande --brut et -"},
      {"velunda-filtre PASSEBAS --fe-sortie 8000 --carte default", "--fe-sortie ne s'utilise pas"},
      {"velunda-filtre PASSEBAS --brut u8 --carte default", "--brut ne s'utilise pas avec --carte"},
      {"velunda --vite", "option inconnue : --vite"},
      {"velunda --coupure 1000", "option inconnue : --coupure"},
      {"velunda default", "argument en trop : default"},
      {"velunda --carte", "l'option --carte demande une valeur"},
      {"velunda --carte=", "--carte : «  » (nom de la carte son)"},
      {"velunda --carte a --carte b", "--carte est donnée deux fois"},
      {"velunda --latence rapide", "--latence : « rapide » (normale ou courte)"},
  };
  for (const auto& [line, expected] : cases) {
    SCOPED_TRACE(line);
    Options o;
    std::string error;
    EXPECT_FALSE(Parse(line, o, error));
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    // The message names the program that refuses.
    EXPECT_TRUE(error.starts_with(line.substr(0, line.find(' ')) + " : ")) << error;
  }
}

// Every "-x" or "--word" that begins a word of the text (a man page's "\\-" read as "-").
std::set<std::string> OptionWords(std::string text) {
  for (size_t k; (k = text.find("\\-")) != std::string::npos;) {
    text.erase(k, 1);
  }
  std::set<std::string> found;
  for (size_t k = 0; (k = text.find('-', k)) != std::string::npos;) {
    size_t end = text.find_first_not_of("-abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", k);
    end = end == std::string::npos ? text.size() : end;
    if ((k == 0 || std::string_view(" \"\n").find(text[k - 1]) != std::string::npos) &&
        std::isalpha(static_cast<unsigned char>(text[k + (text[k + 1] == '-' ? 2 : 1)]))) {
      found.insert(text.substr(k, end - k));
    }
    k = end;
  }
  return found;
}

// The options a man page's OPTIONS section lists (the lines after .TP), and its version.
std::set<std::string> ManPageOptions(const std::string& program, std::string& version) {
  std::ifstream in(std::string(VELUNDA_SOURCE_DIR) + "/data/man/" + program + ".1");
  std::string heads, section;
  for (std::string line, previous; std::getline(in, line); previous = line) {
    if (const size_t at = line.find("\"velunda "); line.starts_with(".TH") && at != line.npos) {
      version = line.substr(at + 9, line.find('"', at + 9) - at - 9);
    } else if (line.starts_with(".SH")) {
      section = line;
    } else if (section == ".SH OPTIONS" && previous == ".TP") {
      heads += line + "\n";
    }
  }
  return OptionWords(heads);
}

// The man page, the --aide text and the table list the same options for each program, and
// --version names the program with the man page's version.
TEST(Options, ManPageAideAndTableAgree) {
  for (Program program : {Program::Velunda, Program::VelundaFiltre}) {
    const std::string name(ProgramName(program));
    SCOPED_TRACE(name);
    std::set<std::string> table;
    for (const OptionDef& def : OptionTable()) {
      if (Accepts(def, program)) {
        table.insert("--" + std::string(def.name));
        if (!def.synonym.empty()) {
          table.insert("--" + std::string(def.synonym));
        }
        if (def.shortName != '\0') {
          table.insert(std::string("-") + def.shortName);
        }
      }
    }
    std::string aideHeads, manVersion;
    std::istringstream aide(FormatUsage(program, {}, ""));
    for (std::string line; std::getline(aide, line);) {
      aideHeads += line.starts_with("  -") ? line.substr(0, 22) + "\n" : "";
    }
    EXPECT_EQ(ManPageOptions(name, manVersion), table);
    EXPECT_EQ(OptionWords(aideHeads), table);
    EXPECT_TRUE(!manVersion.empty() && VersionText(program).starts_with(name + " " + manVersion))
        << VersionText(program) << " / " << manVersion;
  }
}

}  // namespace
}  // namespace velunda
