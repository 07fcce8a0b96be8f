#include "cli/options.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "app/card_choice.hpp"
#include "app/option_reader.hpp"
#include "platform/program_name.hpp"

namespace velunda {
namespace {

// What a line gives, read as its program reads it ("velunda ..." as velunda, which takes only
// options; any other line as velunda-filtre): "refus: " and the French line, or the settings.
std::string Read(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
  Options o;
  const std::string error =
      !words.empty() && words[0] == "velunda"
          ? ParseOnlyOptions(Program::Velunda, {words.begin() + 1, words.end()}, o)
          : ParseOptions(words, o).error;
  if (!error.empty()) {
    return "refus: " + error;
  }
  std::ostringstream d;
  d << " mode=" << static_cast<int>(o.mode) << " requete=" << static_cast<int>(o.request)
    << " filtre=" << o.filter.kind << " entree=" << o.input << " sortie=" << o.output
    << " fe=" << SampleRateOf(o) << " coupure=" << o.filter.LowPassCutoff
    << " coupure-sans=" << o.filter.LowPassBypass << " centre=" << o.filter.BandPassCentre
    << " centre-sans=" << o.filter.BandPassBypass << " largeur=" << o.filter.BandPassWidth
    << " decalage=" << o.filter.BfoShift << " inversion=" << o.filter.BfoInverted
    << " coefficients=" << o.filter.tapCount.value_or(0) << " frequence=" << o.filter.NotchFrequency
    << " large=" << o.filter.NotchWide << " auto=" << o.filter.NotchAuto
    << " seuil=" << o.filter.NotchThreshold << " diviseur=" << o.filter.detectionDivisor.value_or(0)
    << " reduction-sans=" << o.filter.VoiceReductionOff
    << " niveau=" << o.filter.VoiceReductionLevel << " mode-sans=" << o.filter.CwReductionOff
    << " rtty=" << int{o.filter.CwRttyMode} << " carte=" << o.card
    << " duree=" << o.durationSeconds.value_or(0) << " brut=" << static_cast<int>(o.rawSample)
    << " fe-entree=" << o.inputRate << " fe-sortie=" << o.outputRate
    << " latence=" << o.shortLatency << " config=" << o.configFile << " ";
  return d.str();
}

// Each line with the settings it gives ("name=value" words), or after "refus: " a piece of the
// one French line, naming the program, that refuses it.
TEST(Options, CommandLinesAreReadOrRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"passebas a.wav b.wav",
       "mode=0 filtre=PASSEBAS entree=a.wav sortie=b.wav fe=8000 coupure=1000 coupure-sans=0 "
       "centre-sans=0 largeur=250 coefficients=0 brut=0 fe-entree=0 fe-sortie=0 frequence=1000 "
       "large=1 auto=0 seuil=1001"},
      {"PASSEBAS --coupure 3000 --fe 11025 a b", "fe=11025 coupure=3000 coupure-sans=0"},
      {"PASSEBAS --coupure SANS a b", "coupure=3100 coupure-sans=1"},
      {"PasseBande --centre=100 --largeur=2000 a b", "filtre=PASSEBANDE centre=100 largeur=2000"},
      {"PASSEBANDE --centre sans --coefficients 2 a b", "centre=3350 centre-sans=1 coefficients=2"},
      {"BFO_NUMERIQUE --decalage -164 --inversion a b", "fe=6250 decalage=-164 inversion=1"},
      {"BFO_NUMERIQUE --fe 8000 --decalage 129 a b", "fe=8000 decalage=129"},
      {"REJECTEUR_PAR_TFD --frequence 3300 --etroite --auto --seuil Très-Haut --diviseur 4 a b",
       "frequence=3300 large=0 auto=1 seuil=20001 diviseur=4"},
      {"REDUCTEUR_GENERAL --reduction forte a b", "reduction-sans=0 niveau=1"},
      {"REDUCTEUR_GENERAL --reduction sans a b", "reduction-sans=1 niveau=3"},
      {"REDUCTEUR_CW --mode RTTY a b", "mode-sans=0 rtty=1"},
      {"PASSEBAS --carte x --duree 2.5 --latence courte", "mode=1 carte=x duree=2.5 latence=1"},
      {"--table-de-mixage --carte hw:1 --config r.ser", "mode=2 filtre= carte=hw:1 config=r.ser"},
      {"--help", "mode=3"},
      {"-V --vite", "mode=4 requete=2"},
      {"--cartes --vite", "mode=5 requete=3"},
      {"PASSEBAS -- -entree.wav -sortie.wav", "entree=-entree.wav sortie=-sortie.wav"},
      {"REJECTEUR_PAR_TFD --auto --brut s16 --fe-entree 48000 --fe-sortie 48000 - -",
       "entree=- sortie=- brut=2 fe-entree=48000 fe-sortie=48000 fe=8000"},
      {"PASSEBAS --brut f32 --fe-sortie 1000000 a.flac -", "brut=3 fe-sortie=1000000"},
      {"BFO_NUMERIQUE --brut=U8 --fe-sortie 1 - b.wav", "fe=6250 fe-sortie=1 brut=1 entree=-"},
      {"velunda --latence=courte --carte x --config=r", "carte=x latence=1 config=r"},
      {"", "refus: il manque le nom du filtre"},
      {"PASSEBAS a.wav", "refus: fichier d'entrée et un fichier de sortie"},
      {"PASSEBAS a b c", "refus: argument en trop : c"},
      {"FILTREX a b", "refus: filtre inconnu : FILTREX"},
      {"PASSEBAS -x a b", "refus: option inconnue : -x"},
      {"PASSEBAS a b --coupure", "refus: l'option --coupure demande une valeur"},
      {"PASSEBAS --coupure 1000 --coupure 900 a b", "refus: --coupure est donnée deux fois"},
      {"PASSEBAS --coupure 250 a b", "refus: --coupure : « 250 » (300 à 3000 Hz par pas de 100"},
      {"PASSEBAS --coupure 1000Hz a b", "refus: --coupure"},
      {"PASSEBANDE --centre 3400 a b", "refus: (100 à 3300 Hz par pas de 50, ou sans)"},
      {"PASSEBANDE --centre 125 a b", "refus: --centre"},
      {"PASSEBAS --coefficients 11 a b", "refus: --coefficients"},
      {"PASSEBAS --fe 44100 a b", "refus: --fe : « 44100 » (8000 ou 11025 Hz)"},
      {"BFO_NUMERIQUE --fe 11025 a b", "refus: (6250 ou 8000 Hz pour le BFO)"},
      {"BFO_NUMERIQUE --decalage 165 a b", "refus: de -164 à 164"},
      {"BFO_NUMERIQUE --decalage -130 --fe 8000 a b", "refus: de -129 à 129"},
      {"BFO_NUMERIQUE --inversion --fe 8000 a b", "refus: 6250"},
      {"BFO_NUMERIQUE --coefficients 10 a b", "refus: ne s'applique pas au filtre BFO_NUMERIQUE"},
      {"PASSEBAS --inversion=oui a b", "refus: ne prend pas de valeur"},
      {"PASSEBAS --carte default --duree 0", "refus: --duree"},
      {"PASSEBAS --carte default --duree nan", "refus: --duree"},
      {"PASSEBAS --carte default a b", "refus: avec --carte"},
      {"PASSEBAS --latence courte a b", "refus: --latence ne s'utilise qu'avec --carte"},
      {"PASSEBAS --config r a b", "refus: --config ne s'utilise qu'avec --table-de-mixage"},
      {"--table-de-mixage --fe 6250", "refus: --fe ne s'utilise pas avec --table"},
      {"--table-de-mixage PASSEBAS", "refus: argument en trop"},
      {"PASSEBAS --brut s24 - -", "refus: --brut : « s24 » (u8, s16 ou f32)"},
      {"PASSEBAS --brut s16 --fe-entree 0 - -", "refus: --fe-entree : « 0 »"},
      {"PASSEBAS --fe-sortie 1000001 a b", "refus: --fe-sortie"},
      {"PASSEBAS --brut u8 a.u8 b.u8", "refus: --brut demande - comme entrée ou"},
      {"PASSEBAS --fe-entree 8000 - b.wav", "refus: --fe-entree demande --brut"},
      {"PASSEBAS --brut u8 --carte default", "refus: --brut ne s'utilise pas avec --carte"},
      {"velunda --vite", "refus: option inconnue : --vite"},
      {"velunda --coupure 1000", "refus: option inconnue : --coupure"},
      {"velunda default", "refus: argument en trop : default"},
      {"velunda --carte=", "refus: --carte : «  » (nom de la carte son)"},
      {"velunda --latence rapide", "refus: --latence : « rapide » (normale ou courte)"},
  };
  for (const auto& [line, expected] : cases) {
    const std::string got = Read(line);
    const std::string program = line.starts_with("velunda ") ? "velunda :" : "velunda-filtre :";
    if (expected.starts_with("refus: ")) {  // one line that names the program and the fault
      EXPECT_TRUE(got.starts_with("refus: " + program) && got.find('\n') == got.npos &&
                  got.find(expected.substr(7)) != got.npos)
          << line << ": " << got;
      continue;
    }
    std::istringstream words(expected);
    for (std::string w; words >> w;) {
      EXPECT_NE(got.find(" " + w + " "), got.npos) << line << ": " << w << "\n" << got;
    }
  }
}

// The options ("-x", "--word") among the words of the text; a man page's "\\-" is read as "-".
std::set<std::string> OptionWords(std::string text) {
  std::erase(text, '\\');
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '"' || c == ','; }, ' ');
  std::istringstream in(text);
  std::set<std::string> found;
  std::copy_if(std::istream_iterator<std::string>(in), {}, std::inserter(found, found.end()),
               [](const std::string& w) { return w.size() > 1 && w[0] == '-' && w.back() != '-'; });
  return found;
}

// For each program, its man page (OPTIONS: the line after each .TP) lists the options of the
// table, as --aide does from it; --version gives its name and the version of the man page's
// .TH line (.TH NAME 1 "date" "velunda 0.1" ...).
TEST(Options, ManPagesListTheTableOptions) {
  for (Program program : {Program::Velunda, Program::VelundaFiltre}) {
    const std::string name(ProgramName(program));
    std::ifstream man(std::string(VELUNDA_SOURCE_DIR) + "/data/man/" + name + ".1");
    std::string manHeads, aideHeads, section, version;
    for (std::string line, previous; std::getline(man, line); previous = line) {
      section = line.starts_with(".SH") ? line : section;
      manHeads += section == ".SH OPTIONS" && previous == ".TP" ? line + "\n" : "";
      version = line.starts_with(".TH") ? line.substr(line.find("\"velunda ") + 9, 3) : version;
    }
    std::istringstream aide(FormatUsage(program, {}, ""));
    for (std::string line; std::getline(aide, line);) {
      aideHeads += line.starts_with("  -") ? line.substr(0, 22) + "\n" : "";
      // Within 80 columns: characters, not the bytes of the accents.
      EXPECT_LE(std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }),
                80)
          << line;
    }
    EXPECT_EQ(OptionWords(manHeads), OptionWords(aideHeads)) << name;
    EXPECT_TRUE(VersionText(program).starts_with(name + " " + version + ".")) << version;
  }
}

// The layers both programs share name the program that runs in their messages.
TEST(Options, SharedMessagesNameTheRunningProgram) {
  for (const char* name : {"velunda", "velunda-filtre"}) {
    SetProgramName(name);
    CardChoice choice;
    std::string error;
    EXPECT_FALSE(ParseCardName("virtuelle:", choice, error));
    EXPECT_TRUE(error.starts_with(std::string(name) + " : ")) << error;
  }
}

}  // namespace
}  // namespace velunda
