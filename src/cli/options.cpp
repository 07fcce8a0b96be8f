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

// One option: its name, whether it takes a value, and the filters it applies to ("" = any).
struct OptionDef {
  std::string_view name;
  bool takesValue;
  std::array<std::string_view, 3> kinds;
};

constexpr std::array<OptionDef, 18> kOptionDefs{{
    {"fe", true, {""}},
    {"coupure", true, {kPasseBas}},
    {"centre", true, {kPasseBande}},
    {"largeur", true, {kPasseBande}},
    {"decalage", true, {kBfoNumerique}},
    {"inversion", false, {kBfoNumerique}},
    {"coefficients", true, {kPasseBas, kPasseBande, kRejecteurParTfd}},
    {"frequence", true, {kRejecteurParTfd}},
    {"etroite", false, {kRejecteurParTfd}},
    {"auto", false, {kRejecteurParTfd}},
    {"seuil", true, {kRejecteurParTfd}},
    {"diviseur", true, {kRejecteurParTfd}},
    {"reduction", true, {kReducteurGeneral}},
    {"mode", true, {kReducteurCw}},
    {"carte", true, {""}},
    {"duree", true, {""}},
    {"table-de-mixage", false, {""}},
    {"aide", false, {""}},
}};

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

std::string BadValue(std::string_view option, std::string_view value, std::string_view expected) {
  return std::string(kPrefix) + "valeur incorrecte pour --" + std::string(option) + " : \"" +
         std::string(value) + "\" (" + std::string(expected) + ")";
}

// Largest |BfoShift| the BFO screen's keys reach at this rate: one bin beyond 1000 Hz.
int32_t MaxBfoShift(int32_t rate) {
  const int32_t binWidth = rate * 1000 / 1024;
  return (1000000 + binWidth - 1) / binWidth;
}

// Applies the value of one option; returns an error text or "".
std::string ApplyValue(Options& o, std::string_view name, std::string_view value) {
  const std::string lower = Lower(value);
  if (name == "fe") {
    auto v = ParseInteger(value);
    if (!v || (*v != 6250 && *v != 8000 && *v != 11025)) {
      return BadValue(name, value, "6250, 8000 ou 11025 Hz");
    }
    o.sampleRate = static_cast<int32_t>(*v);
  } else if (name == "coupure") {
    if (lower == "sans") {
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
  } else if (name == "centre") {
    if (lower == "sans") {
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
  } else if (name == "largeur") {
    auto v = ParseInteger(value);
    if (!v || (*v != 120 && *v != 250 && *v != 500 && *v != 2000)) {
      return BadValue(name, value, "120, 250, 500 ou 2000 Hz");
    }
    o.BandPassWidth = static_cast<double>(*v);
  } else if (name == "decalage") {
    // The range depends on the rate; checked once every option is known.
    auto v = ParseInteger(value);
    if (!v || *v < -1000 || *v > 1000) {
      return BadValue(name, value, "un nombre entier de raies");
    }
    o.BfoShift = static_cast<int32_t>(*v);
  } else if (name == "coefficients") {
    auto v = ParseOnGrid(value, 2, 1000, 2);
    if (!v) {
      return BadValue(name, value, "nombre pair de 2 à 1000");
    }
    o.tapCount = static_cast<int32_t>(*v);
  } else if (name == "frequence") {
    auto v = ParseOnGrid(value, 100, 3300, 50);
    if (!v) {
      return BadValue(name, value, "100 à 3300 Hz par pas de 50");
    }
    o.NotchFrequency = static_cast<double>(*v);
  } else if (name == "seuil") {
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
    for (const auto& [text, threshold] : kThresholds) {
      if (lower == text) {
        o.NotchThreshold = threshold;
        return "";
      }
    }
    return BadValue(name, value, "tres-haut, haut, bas, tres-bas ou 20001, 5001, 1001, 101");
  } else if (name == "diviseur") {
    auto v = ParseInteger(value);
    if (!v || (*v != 1 && *v != 2 && *v != 4)) {
      return BadValue(name, value, "1, 2 ou 4");
    }
    o.detectionDivisor = static_cast<int32_t>(*v);
  } else if (name == "reduction") {
    if (lower == "sans") {
      o.VoiceReductionOff = true;
    } else if (lower == "faible" || lower == "forte") {
      o.VoiceReductionOff = false;
      o.VoiceReductionLevel = lower == "faible" ? 3 : 1;
    } else {
      return BadValue(name, value, "sans, faible ou forte");
    }
  } else if (name == "mode") {
    if (lower == "sans") {
      o.CwReductionOff = true;
    } else if (lower == "cw" || lower == "rtty") {
      o.CwReductionOff = false;
      o.CwRttyMode = lower == "cw" ? 0 : 1;
    } else {
      return BadValue(name, value, "sans, cw ou rtty");
    }
  } else if (name == "carte") {
    if (value.empty()) {
      return BadValue(name, value, "nom de la carte son");
    }
    o.card = std::string(value);
  } else if (name == "duree") {
    const std::string text(value);
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) ||
        seconds <= 0.0 || seconds > 864000.0) {
      return BadValue(name, value, "durée en secondes, positive");
    }
    o.durationSeconds = seconds;
  }
  return "";
}

std::string Fail(std::string text) { return std::string(kPrefix) + std::move(text); }

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
  return "";
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
      o.mode = CommandMode::Help;
      return {true, ""};
    }
    if (o.Given(def->name)) {
      return {false, Fail("l'option --" + std::string(def->name) + " est donnée deux fois")};
    }
    o.given.emplace_back(def->name);
    if (!def->takesValue) {
      if (inlineValue) {
        return {false, Fail("l'option --" + std::string(def->name) + " ne prend pas de valeur")};
      }
      if (def->name == "inversion") {
        o.BfoInverted = true;
      } else if (def->name == "etroite") {
        o.NotchWide = false;
      } else if (def->name == "auto") {
        o.NotchAuto = true;
      } else if (def->name == "table-de-mixage") {
        o.mode = CommandMode::MixerTable;
      }
      continue;
    }
    std::string_view value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return {false, Fail("l'option --" + std::string(def->name) + " demande une valeur")};
    }
    if (auto error = ApplyValue(o, def->name, value); !error.empty()) {
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
    return {false, Fail("il manque le nom du filtre (PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, "
                        "REJECTEUR_PAR_TFD, REDUCTEUR_GENERAL ou REDUCTEUR_CW)")};
  }
  o.filterKind = Upper(positional.front());
  if (!FilterKnown(o.filterKind)) {
    return {false, Fail("filtre inconnu : " + positional.front() +
                        " (PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, REJECTEUR_PAR_TFD, "
                        "REDUCTEUR_GENERAL ou REDUCTEUR_CW)")};
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

std::string UsageText() {
  return "Usage : velunda-filtre FILTRE [options] ENTREE SORTIE\n"
         "        velunda-filtre FILTRE [options] --carte NOM [--duree S]\n"
         "        velunda-filtre --table-de-mixage [--carte NOM]\n"
         "\n"
         "FILTRE : PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, REJECTEUR_PAR_TFD, REDUCTEUR_GENERAL\n"
         "  ou REDUCTEUR_CW (majuscules ou minuscules).\n"
         "ENTREE, SORTIE : fichier son (WAV...), ou brut 8 bits non signé mono si le nom\n"
         "  finit par .u8. La sortie est en 8 bits non signé mono.\n"
         "\n"
         "Options :\n"
         "  --fe HZ             fréquence d'échantillonnage : 8000 ou 11025 (défaut 8000),\n"
         "                      6250 ou 8000 pour le BFO (défaut 6250)\n"
         "  --coupure HZ|sans   passe-bas : 300 à 3000 par pas de 100 (défaut 1000)\n"
         "  --centre HZ|sans    passe-bande : 100 à 3300 par pas de 50 (défaut 800)\n"
         "  --largeur HZ        passe-bande : 120, 250, 500 ou 2000 (défaut 250)\n"
         "  --decalage N        BFO : translation en raies (défaut 0)\n"
         "  --inversion         BFO : inversion de spectre (à 6250 Hz)\n"
         "  --coefficients N    longueur du filtre (paire, 2 à 1000) au lieu de l'étalonnage\n"
         "  --frequence HZ      réjecteur : 100 à 3300 par pas de 50 (défaut 1000)\n"
         "  --etroite           réjecteur : bande étroite\n"
         "  --auto              réjecteur : recherche automatique de la porteuse\n"
         "  --seuil S           réjecteur : tres-haut, haut, bas (défaut) ou tres-bas\n"
         "  --diviseur D        réjecteur : 1, 2 ou 4 au lieu de l'étalonnage\n"
         "                      (avec --coefficients ou --diviseur, pas d'étalonnage ; la\n"
         "                      valeur non donnée reste 1000 coefficients ou diviseur 1)\n"
         "                      Avec --auto, une ligne par décision sur la sortie standard :\n"
         "                      instant en secondes, Trouvé ou Echec, fréquence en Hz\n"
         "  --reduction R       réducteur général : sans, faible (défaut) ou forte\n"
         "  --mode M            réducteur CW/RTTY : sans, cw (défaut) ou rtty\n"
         "  --carte NOM         filtrer en direct l'entrée de cette carte son\n"
         "  --duree S           en direct : s'arrêter après S secondes\n"
         "  --table-de-mixage   afficher la table de mixage\n"
         "  --aide, -h          afficher cette aide\n";
}

}  // namespace velunda
