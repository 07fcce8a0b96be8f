#include "cli/options.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "cli/filter_setup.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

constexpr std::string_view kPrefix = "velunda-filtre : ";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

// A whole decimal integer, nothing before or after it.
std::optional<int64_t> ParseInteger(std::string_view text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}

// A value on a grid: first..last in steps of `step`.
std::optional<int64_t> ParseOnGrid(std::string_view text, int64_t first, int64_t last,
                                   int64_t step) {
  auto value = ParseInteger(text);
  if (!value || *value < first || *value > last || (*value - first) % step != 0) {
    return std::nullopt;
  }
  return value;
}

std::string Fail(std::string text) { return std::string(kPrefix) + std::move(text); }

std::string BadValue(std::string_view option, std::string_view value, std::string_view expected) {
  return std::string(kPrefix) + "valeur incorrecte pour --" + std::string(option) + " : \"" +
         std::string(value) + "\" (" + std::string(expected) + ")";
}

// A value parser: sets its option from the text given, or returns the French error line.
// Switches are called with an empty text.
using ValueParser = std::string (*)(Options&, std::string_view name, std::string_view value);

// Parses one of a list of values, or fails with the list.
template <typename T, size_t N>
std::string PickOne(const std::array<std::pair<std::string_view, T>, N>& choices, T& target,
                    std::string_view name, std::string_view value, std::string_view expected) {
  const std::string lower = Lower(value);
  for (const auto& [text, v] : choices) {
    if (lower == text) {
      target = v;
      return "";
    }
  }
  return BadValue(name, value, expected);
}

std::string ParseFe(Options& o, std::string_view name, std::string_view value) {
  auto v = ParseInteger(value);
  if (!v || (*v != 6250 && *v != 8000 && *v != 11025)) {
    return BadValue(name, value, "6250, 8000 ou 11025 Hz");
  }
  o.sampleRate = static_cast<int32_t>(*v);
  return "";
}

// A stream or output rate: any whole number of hertz from 1 to kMaxStreamRate.
constexpr int64_t kMaxStreamRate = 1000000;

std::optional<int32_t> ParseStreamRate(std::string_view value) {
  auto v = ParseInteger(value);
  if (!v || *v < 1 || *v > kMaxStreamRate) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*v);
}

std::string ParseInputRate(Options& o, std::string_view name, std::string_view value) {
  auto v = ParseStreamRate(value);
  if (!v) {
    return BadValue(name, value, "fréquence en Hz, de 1 à 1000000");
  }
  o.inputRate = *v;
  return "";
}

std::string ParseOutputRate(Options& o, std::string_view name, std::string_view value) {
  auto v = ParseStreamRate(value);
  if (!v) {
    return BadValue(name, value, "fréquence en Hz, de 1 à 1000000");
  }
  o.outputRate = *v;
  return "";
}

std::string ParseRaw(Options& o, std::string_view name, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, RawSample>, 3> kTypes{{
      {"u8", RawSample::U8},
      {"s16", RawSample::S16},
      {"f32", RawSample::F32},
  }};
  return PickOne(kTypes, o.rawSample, name, value, "u8, s16 ou f32");
}

std::string ParseCutoff(Options& o, std::string_view name, std::string_view value) {
  if (Lower(value) == "sans") {
    o.LowPassCutoff = 3100.0;
    o.LowPassBypass = true;
    return "";
  }
  auto v = ParseOnGrid(value, 300, 3000, 100);
  if (!v) {
    return BadValue(name, value, "300 à 3000 Hz par pas de 100, ou sans");
  }
  o.LowPassCutoff = static_cast<double>(*v);
  o.LowPassBypass = false;
  return "";
}

std::string ParseCentre(Options& o, std::string_view name, std::string_view value) {
  if (Lower(value) == "sans") {
    o.BandPassCentre = 3350;
    o.BandPassBypass = true;
    return "";
  }
  auto v = ParseOnGrid(value, 100, 3300, 50);
  if (!v) {
    return BadValue(name, value, "100 à 3300 Hz par pas de 50, ou sans");
  }
  o.BandPassCentre = static_cast<uint16_t>(*v);
  o.BandPassBypass = false;
  return "";
}

std::string ParseWidth(Options& o, std::string_view name, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, double>, 4> kWidths{{
      {"120", 120.0},
      {"250", 250.0},
      {"500", 500.0},
      {"2000", 2000.0},
  }};
  return PickOne(kWidths, o.BandPassWidth, name, value, "120, 250, 500 ou 2000 Hz");
}

std::string ParseShift(Options& o, std::string_view name, std::string_view value) {
  // The range depends on the rate; checked once every option is known.
  auto v = ParseInteger(value);
  if (!v || *v < -1000 || *v > 1000) {
    return BadValue(name, value, "un nombre entier de raies");
  }
  o.BfoShift = static_cast<int32_t>(*v);
  return "";
}

std::string SetInverted(Options& o, std::string_view, std::string_view) {
  o.BfoInverted = true;
  return "";
}

std::string ParseTaps(Options& o, std::string_view name, std::string_view value) {
  auto v = ParseOnGrid(value, 2, 1000, 2);
  if (!v) {
    return BadValue(name, value, "nombre pair de 2 à 1000");
  }
  o.tapCount = static_cast<int32_t>(*v);
  return "";
}

std::string ParseNotch(Options& o, std::string_view name, std::string_view value) {
  auto v = ParseOnGrid(value, 100, 3300, 50);
  if (!v) {
    return BadValue(name, value, "100 à 3300 Hz par pas de 50");
  }
  o.NotchFrequency = static_cast<double>(*v);
  return "";
}

std::string SetNarrow(Options& o, std::string_view, std::string_view) {
  o.NotchWide = false;
  return "";
}

std::string SetAuto(Options& o, std::string_view, std::string_view) {
  o.NotchAuto = true;
  return "";
}

std::string ParseThreshold(Options& o, std::string_view name, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 10> kThresholds{{
      {"tres-haut", 20001},
      {"très-haut", 20001},
      {"haut", 5001},
      {"bas", 1001},
      {"tres-bas", 101},
      {"très-bas", 101},
      {"20001", 20001},
      {"5001", 5001},
      {"1001", 1001},
      {"101", 101},
  }};
  return PickOne(kThresholds, o.NotchThreshold, name, value,
                 "tres-haut, haut, bas, tres-bas ou 20001, 5001, 1001, 101");
}

std::string ParseDivisor(Options& o, std::string_view name, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kDivisors{{
      {"1", 1},
      {"2", 2},
      {"4", 4},
  }};
  int32_t divisor = 0;
  auto error = PickOne(kDivisors, divisor, name, value, "1, 2 ou 4");
  if (error.empty()) {
    o.detectionDivisor = divisor;
  }
  return error;
}

std::string ParseReduction(Options& o, std::string_view name, std::string_view value) {
  // Level 0 stands for "sans": the reducer is off.
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kLevels{{
      {"sans", 0},
      {"faible", 3},
      {"forte", 1},
  }};
  int32_t level = 0;
  auto error = PickOne(kLevels, level, name, value, "sans, faible ou forte");
  if (error.empty()) {
    o.VoiceReductionOff = level == 0;
    if (level != 0) {
      o.VoiceReductionLevel = level;
    }
  }
  return error;
}

std::string ParseCwMode(Options& o, std::string_view name, std::string_view value) {
  // -1 stands for "sans": the reducer is off.
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kModes{{
      {"sans", -1},
      {"cw", 0},
      {"rtty", 1},
  }};
  int32_t mode = 0;
  auto error = PickOne(kModes, mode, name, value, "sans, cw ou rtty");
  if (error.empty()) {
    o.CwReductionOff = mode < 0;
    if (mode >= 0) {
      o.CwRttyMode = static_cast<uint8_t>(mode);
    }
  }
  return error;
}

std::string ParseCard(Options& o, std::string_view name, std::string_view value) {
  if (value.empty()) {
    return BadValue(name, value, "nom de la carte son");
  }
  o.card = std::string(value);
  return "";
}

std::string ParseDuration(Options& o, std::string_view name, std::string_view value) {
  const std::string text(value);
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) ||
      seconds <= 0.0 || seconds > 864000.0) {
    return BadValue(name, value, "durée en secondes, positive");
  }
  o.durationSeconds = seconds;
  return "";
}

std::string ParseLatency(Options& o, std::string_view name, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 2> kLatencies{{
      {"normale", 0},
      {"courte", 1},
  }};
  int32_t latency = 0;
  auto error = PickOne(kLatencies, latency, name, value, "normale ou courte");
  if (error.empty()) {
    o.shortLatency = latency == 1;
  }
  return error;
}

std::string SetMixerTable(Options& o, std::string_view, std::string_view) {
  o.mode = CommandMode::MixerTable;
  return "";
}

std::string SetHelp(Options& o, std::string_view, std::string_view) {
  o.mode = CommandMode::Help;
  return "";
}

// One option: its name, the value it takes ("" for a switch), its parser, the filters it
// applies to ({""}: any) and its lines in the usage text.
struct OptionDef {
  std::string_view name;
  std::string_view valueName;
  ValueParser parse;
  std::array<std::string_view, 3> kinds;
  std::string_view help;
};

// clang-format off
constexpr std::array<OptionDef, 22> kOptionDefs{{
    {"fe", "HZ", ParseFe, {""},
     "fréquence d'échantillonnage : 8000 ou 11025 (défaut 8000),\n"
     "6250 ou 8000 pour le BFO (défaut 6250)"},
    {"coupure", "HZ|sans", ParseCutoff, {kPasseBas},
     "passe-bas : 300 à 3000 par pas de 100 (défaut 1000)"},
    {"centre", "HZ|sans", ParseCentre, {kPasseBande},
     "passe-bande : 100 à 3300 par pas de 50 (défaut 800)"},
    {"largeur", "HZ", ParseWidth, {kPasseBande}, "passe-bande : 120, 250, 500 ou 2000 (défaut 250)"},
    {"decalage", "N", ParseShift, {kBfoNumerique}, "BFO : translation en raies (défaut 0)"},
    {"inversion", "", SetInverted, {kBfoNumerique}, "BFO : inversion de spectre (à 6250 Hz)"},
    {"coefficients", "N", ParseTaps, {kPasseBas, kPasseBande, kRejecteurParTfd},
     "longueur du filtre (paire, 2 à 1000) au lieu de l'étalonnage"},
    {"frequence", "HZ", ParseNotch, {kRejecteurParTfd},
     "réjecteur : 100 à 3300 par pas de 50 (défaut 1000)"},
    {"etroite", "", SetNarrow, {kRejecteurParTfd}, "réjecteur : bande étroite"},
    {"auto", "", SetAuto, {kRejecteurParTfd}, "réjecteur : recherche automatique de la porteuse"},
    {"seuil", "S", ParseThreshold, {kRejecteurParTfd},
     "réjecteur : tres-haut, haut, bas (défaut) ou tres-bas"},
    {"diviseur", "D", ParseDivisor, {kRejecteurParTfd},
     "réjecteur : 1, 2 ou 4 au lieu de l'étalonnage\n"
     "(avec --coefficients ou --diviseur, pas d'étalonnage ; la\n"
     "valeur non donnée reste 1000 coefficients ou diviseur 1)\n"
     "Avec --auto, une ligne par décision sur la sortie standard\n"
     "(sur la sortie d'erreur quand la sortie standard porte le son) :\n"
     "instant en secondes, Trouvé ou Echec, fréquence en Hz"},
    {"reduction", "R", ParseReduction, {kReducteurGeneral},
     "réducteur général : sans, faible (défaut) ou forte"},
    {"mode", "M", ParseCwMode, {kReducteurCw}, "réducteur CW/RTTY : sans, cw (défaut) ou rtty"},
    {"brut", "T", ParseRaw, {""},
     "entrée ou sortie - en échantillons bruts mono : u8 (8 bits non\n"
     "signé), s16 (16 bits signé) ou f32 (flottant), ordre de la machine"},
    {"fe-entree", "HZ", ParseInputRate, {""},
     "avec --brut : fréquence de l'entrée standard (défaut : celle du filtre)"},
    {"fe-sortie", "HZ", ParseOutputRate, {""},
     "écrire la sortie à cette fréquence, en 16 bits PCM (rééchantillonnée)"},
    {"carte", "NOM", ParseCard, {""}, "filtrer en direct l'entrée de cette carte son"},
    {"duree", "S", ParseDuration, {""}, "en direct : s'arrêter après S secondes"},
    {"latence", "L", ParseLatency, {""},
     "en direct : normale (défaut, blocs d'un tiers de seconde) ou\n"
     "courte (blocs de 96 ms pour le passe-bas, le passe-bande et\n"
     "les réducteurs de bruit ; le BFO et le réjecteur gardent 2048)"},
    {"table-de-mixage", "", SetMixerTable, {""}, "afficher la table de mixage"},
    {"aide", "", SetHelp, {""}, "afficher cette aide"},
}};
// clang-format on

constexpr std::string_view kFilterList =
    "PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, REJECTEUR_PAR_TFD, REDUCTEUR_GENERAL ou REDUCTEUR_CW";

const OptionDef* FindOption(std::string_view name) {
  for (const auto& def : kOptionDefs) {
    if (def.name == name) {
      return &def;
    }
  }
  return nullptr;
}

bool AppliesTo(const OptionDef& def, std::string_view kind) {
  if (def.kinds[0].empty()) {
    return true;
  }
  return std::find(def.kinds.begin(), def.kinds.end(), kind) != def.kinds.end();
}

// Largest |BfoShift| the BFO screen's keys reach at this rate: one bin beyond 1000 Hz.
int32_t MaxBfoShift(int32_t rate) {
  const int32_t binWidth = rate * 1000 / 1024;
  return (1000000 + binWidth - 1) / binWidth;
}

// Options that only make sense with files or streams, or only live.
std::string CheckStreams(const Options& o) {
  if (o.mode == CommandMode::Live) {
    for (std::string_view name : {"brut", "fe-entree", "fe-sortie"}) {
      if (o.Given(name)) {
        return Fail("l'option --" + std::string(name) + " ne s'utilise pas avec --carte");
      }
    }
    return "";
  }
  const bool stdIn = IsStdStream(o.input), stdOut = IsStdStream(o.output);
  if (o.rawSample != RawSample::None && !stdIn && !stdOut) {
    return Fail("l'option --brut demande - comme entrée ou comme sortie");
  }
  if (o.Given("fe-entree") && (o.rawSample == RawSample::None || !stdIn)) {
    return Fail("l'option --fe-entree demande --brut et - comme entrée");
  }
  return "";
}

// Checks that depend on several options at once.
std::string CheckCombination(const Options& o) {
  if (o.mode == CommandMode::MixerTable) {
    for (const auto& name : o.given) {
      if (name != "table-de-mixage" && name != "carte") {
        return Fail("l'option --" + name + " ne s'utilise pas avec --table-de-mixage");
      }
    }
    return "";
  }
  for (const auto& name : o.given) {
    if (!AppliesTo(*FindOption(name), o.filterKind)) {
      return Fail("l'option --" + name + " ne s'applique pas au filtre " + o.filterKind);
    }
  }
  const bool bfo = IsBfoKind(o.filterKind);
  const int32_t rate = SampleRateOf(o);
  if (bfo && rate != 6250 && rate != 8000) {
    return Fail("le BFO numérique fonctionne à 6250 ou 8000 Hz, pas à " + std::to_string(rate) +
                " Hz");
  }
  if (!bfo && rate != 8000 && rate != 11025) {
    return Fail("le filtre " + o.filterKind + " fonctionne à 8000 ou 11025 Hz, pas à " +
                std::to_string(rate) + " Hz");
  }
  if (bfo) {
    const int32_t limit = MaxBfoShift(rate);
    if (o.BfoShift < -limit || o.BfoShift > limit) {
      return Fail("valeur incorrecte pour --decalage : " + std::to_string(o.BfoShift) + " (de " +
                  std::to_string(-limit) + " à " + std::to_string(limit) + " raies à " +
                  std::to_string(rate) + " Hz)");
    }
    if (o.BfoInverted && rate != 6250) {
      return Fail("l'inversion de spectre demande la fréquence d'échantillonnage de 6250 Hz");
    }
  }
  if (o.durationSeconds && o.mode != CommandMode::Live) {
    return Fail("l'option --duree ne s'utilise qu'avec --carte");
  }
  if (o.Given("latence") && o.mode != CommandMode::Live) {
    return Fail("l'option --latence ne s'utilise qu'avec --carte");
  }
  return CheckStreams(o);
}

}  // namespace

bool Options::Given(std::string_view name) const {
  return std::find(given.begin(), given.end(), name) != given.end();
}

int32_t SampleRateOf(const Options& options) {
  if (options.sampleRate != 0) {
    return options.sampleRate;
  }
  return IsBfoKind(options.filterKind) ? 6250 : 8000;
}

ParseResult ParseOptions(const std::vector<std::string>& args, Options& o) {
  o = Options{};
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h") {
      o.mode = CommandMode::Help;
      return {true, ""};
    }
    std::string_view body(arg);
    if (!body.starts_with("--")) {
      return {false, Fail("option inconnue : " + arg)};
    }
    body.remove_prefix(2);
    std::optional<std::string_view> inlineValue;
    if (auto eq = body.find('='); eq != std::string_view::npos) {
      inlineValue = body.substr(eq + 1);
      body = body.substr(0, eq);
    }
    const OptionDef* def = FindOption(body);
    if (def == nullptr) {
      return {false, Fail("option inconnue : --" + std::string(body))};
    }
    if (def->name == "aide") {
      return {true, def->parse(o, def->name, "")};
    }
    if (o.Given(def->name)) {
      return {false, Fail("l'option --" + std::string(def->name) + " est donnée deux fois")};
    }
    o.given.emplace_back(def->name);
    std::string_view value;
    if (def->valueName.empty()) {
      if (inlineValue) {
        return {false, Fail("l'option --" + std::string(def->name) + " ne prend pas de valeur")};
      }
    } else if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return {false, Fail("l'option --" + std::string(def->name) + " demande une valeur")};
    }
    if (auto error = def->parse(o, def->name, value); !error.empty()) {
      return {false, error};
    }
  }

  if (o.mode == CommandMode::MixerTable) {
    if (!positional.empty()) {
      return {false, Fail("argument en trop : " + positional.front())};
    }
    auto error = CheckCombination(o);
    return {error.empty(), error};
  }
  if (positional.empty()) {
    return {false, Fail("il manque le nom du filtre (" + std::string(kFilterList) + ")")};
  }
  o.filterKind = Upper(positional.front());
  if (!FilterKnown(o.filterKind)) {
    return {false,
            Fail("filtre inconnu : " + positional.front() + " (" + std::string(kFilterList) + ")")};
  }
  const size_t files = positional.size() - 1;
  if (!o.card.empty()) {
    o.mode = CommandMode::Live;
    if (files != 0) {
      return {false, Fail("avec --carte, pas de fichier d'entrée ni de sortie")};
    }
  } else if (files < 2) {
    return {false, Fail("il faut un fichier d'entrée et un fichier de sortie")};
  } else if (files > 2) {
    return {false, Fail("argument en trop : " + positional[3])};
  } else {
    o.input = positional[1];
    o.output = positional[2];
    if (o.input.empty() || o.output.empty()) {
      return {false, Fail("nom de fichier vide")};
    }
  }
  auto error = CheckCombination(o);
  return {error.empty(), error};
}

bool IsStdStream(const std::string& name) { return name == kStdStream; }

std::string UsageText() {
  std::string text =
      "Usage : velunda-filtre FILTRE [options] ENTREE SORTIE\n"
      "        velunda-filtre FILTRE [options] --carte NOM [--duree S] [--latence L]\n"
      "        velunda-filtre --table-de-mixage [--carte NOM]\n"
      "\n"
      "FILTRE : " +
      std::string(kFilterList) +
      "\n"
      "  (majuscules ou minuscules).\n"
      "ENTREE, SORTIE : fichier son (WAV, FLAC... à toute fréquence, rééchantillonné à celle\n"
      "  du filtre), brut 8 bits non signé mono si le nom finit par .u8, ou - pour l'entrée ou\n"
      "  la sortie standard (flux WAV, ou brut avec --brut). La sortie est en 8 bits non signé\n"
      "  mono à la fréquence du filtre, ou en 16 bits à celle de --fe-sortie.\n"
      "\n"
      "Options :\n";
  constexpr size_t kColumn = 22;
  for (const auto& def : kOptionDefs) {
    std::string head = "  --" + std::string(def.name);
    if (!def.valueName.empty()) {
      head += " " + std::string(def.valueName);
    }
    if (def.name == "aide") {
      head += ", -h";
    }
    head.resize(std::max(kColumn, head.size() + 1), ' ');
    text += head;
    for (char c : def.help) {
      text += c;
      if (c == '\n') {
        text += std::string(kColumn, ' ');
      }
    }
    text += '\n';
  }
  return text;
}

}  // namespace velunda
