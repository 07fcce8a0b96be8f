#include "app/option_table.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "dsp/filter_kind.hpp"

namespace velunda {
namespace {

constexpr uint8_t kFiltre = static_cast<uint8_t>(Program::VelundaFiltre);
constexpr uint8_t kFenetre = static_cast<uint8_t>(Program::Velunda);

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
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

// One of a list of words (any case), or the list as the error.
template <typename T, size_t N>
std::string PickOne(const std::array<std::pair<std::string_view, T>, N>& choices, T& target,
                    std::string_view value, std::string_view allowed) {
  const std::string lower = Lower(value);
  for (const auto& [text, v] : choices) {
    if (lower == text) {
      target = v;
      return "";
    }
  }
  return std::string(allowed);
}

// The rates a filter runs at: the BFO's differ from the others'.
std::string ParseFe(CommandLine& c, std::string_view value) {
  const bool bfo = c.filter.kind == kBfoNumerique;
  const int64_t low = bfo ? 6250 : 8000;
  const int64_t high = bfo ? 8000 : 11025;
  auto v = ParseInteger(value);
  if (!v || (*v != low && *v != high)) {
    return bfo ? "6250 ou 8000 Hz pour le BFO" : "8000 ou 11025 Hz";
  }
  c.sampleRate = static_cast<int32_t>(*v);
  return "";
}

// A stream or output rate: any whole number of hertz from 1 to 1000000.
std::string ParseStreamRate(int32_t& target, std::string_view value) {
  auto v = ParseInteger(value);
  if (!v || *v < 1 || *v > 1000000) {
    return "fréquence en Hz, de 1 à 1000000";
  }
  target = static_cast<int32_t>(*v);
  return "";
}

std::string ParseInputRate(CommandLine& c, std::string_view value) {
  return ParseStreamRate(c.inputRate, value);
}

std::string ParseOutputRate(CommandLine& c, std::string_view value) {
  return ParseStreamRate(c.outputRate, value);
}

std::string ParseRaw(CommandLine& c, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, RawSample>, 3> kTypes{{
      {"u8", RawSample::U8},
      {"s16", RawSample::S16},
      {"f32", RawSample::F32},
  }};
  return PickOne(kTypes, c.rawSample, value, "u8, s16 ou f32");
}

// A frequency on a grid, or "sans": the filter passes everything (its position past the grid).
std::string ParseGridOrSans(std::string_view value, int64_t first, int64_t last, int64_t step,
                            int64_t sans, int64_t& frequency, bool& bypass) {
  if (Lower(value) == "sans") {
    frequency = sans;
    bypass = true;
    return "";
  }
  auto v = ParseOnGrid(value, first, last, step);
  if (!v) {
    return std::to_string(first) + " à " + std::to_string(last) + " Hz par pas de " +
           std::to_string(step) + ", ou sans";
  }
  frequency = *v;
  bypass = false;
  return "";
}

std::string ParseCutoff(CommandLine& c, std::string_view value) {
  int64_t cutoff = 0;
  auto error = ParseGridOrSans(value, 300, 3000, 100, 3100, cutoff, c.filter.LowPassBypass);
  if (error.empty()) {
    c.filter.LowPassCutoff = static_cast<double>(cutoff);
  }
  return error;
}

std::string ParseCentre(CommandLine& c, std::string_view value) {
  int64_t centre = 0;
  auto error = ParseGridOrSans(value, 100, 3300, 50, 3350, centre, c.filter.BandPassBypass);
  if (error.empty()) {
    c.filter.BandPassCentre = static_cast<uint16_t>(centre);
  }
  return error;
}

std::string ParseWidth(CommandLine& c, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, double>, 4> kWidths{{
      {"120", 120.0},
      {"250", 250.0},
      {"500", 500.0},
      {"2000", 2000.0},
  }};
  return PickOne(kWidths, c.filter.BandPassWidth, value, "120, 250, 500 ou 2000 Hz");
}

std::string ParseShift(CommandLine& c, std::string_view value) {
  // The range depends on the rate; checked once every option is known.
  auto v = ParseInteger(value);
  if (!v || *v < -1000 || *v > 1000) {
    return "un nombre entier de raies";
  }
  c.filter.BfoShift = static_cast<int32_t>(*v);
  return "";
}

std::string SetInverted(CommandLine& c, std::string_view) {
  c.filter.BfoInverted = true;
  return "";
}

std::string ParseTaps(CommandLine& c, std::string_view value) {
  auto v = ParseOnGrid(value, 2, 1000, 2);
  if (!v) {
    return "nombre pair de 2 à 1000";
  }
  c.filter.tapCount = static_cast<int32_t>(*v);
  return "";
}

std::string ParseNotch(CommandLine& c, std::string_view value) {
  auto v = ParseOnGrid(value, 100, 3300, 50);
  if (!v) {
    return "100 à 3300 Hz par pas de 50";
  }
  c.filter.NotchFrequency = static_cast<double>(*v);
  return "";
}

std::string SetNarrow(CommandLine& c, std::string_view) {
  c.filter.NotchWide = false;
  return "";
}

std::string SetAuto(CommandLine& c, std::string_view) {
  c.filter.NotchAuto = true;
  return "";
}

std::string ParseThreshold(CommandLine& c, std::string_view value) {
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
  return PickOne(kThresholds, c.filter.NotchThreshold, value,
                 "tres-haut, haut, bas, tres-bas ou 20001, 5001, 1001, 101");
}

std::string ParseDivisor(CommandLine& c, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kDivisors{{
      {"1", 1},
      {"2", 2},
      {"4", 4},
  }};
  int32_t divisor = 0;
  auto error = PickOne(kDivisors, divisor, value, "1, 2 ou 4");
  if (error.empty()) {
    c.filter.detectionDivisor = divisor;
  }
  return error;
}

std::string ParseReduction(CommandLine& c, std::string_view value) {
  // Level 0 stands for "sans": the reducer is off.
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kLevels{{
      {"sans", 0},
      {"faible", 3},
      {"forte", 1},
  }};
  int32_t level = 0;
  auto error = PickOne(kLevels, level, value, "sans, faible ou forte");
  if (error.empty()) {
    c.filter.VoiceReductionOff = level == 0;
    if (level != 0) {
      c.filter.VoiceReductionLevel = level;
    }
  }
  return error;
}

std::string ParseCwMode(CommandLine& c, std::string_view value) {
  // -1 stands for "sans": the reducer is off.
  static constexpr std::array<std::pair<std::string_view, int32_t>, 3> kModes{{
      {"sans", -1},
      {"cw", 0},
      {"rtty", 1},
  }};
  int32_t mode = 0;
  auto error = PickOne(kModes, mode, value, "sans, cw ou rtty");
  if (error.empty()) {
    c.filter.CwReductionOff = mode < 0;
    if (mode >= 0) {
      c.filter.CwRttyMode = static_cast<uint8_t>(mode);
    }
  }
  return error;
}

std::string ParseCard(CommandLine& c, std::string_view value) {
  if (value.empty()) {
    return "nom de la carte son";
  }
  c.card = std::string(value);
  return "";
}

std::string ParseInputCard(CommandLine& c, std::string_view value) {
  if (value.empty()) {
    return "nom du périphérique d'entrée";
  }
  c.inputCard = std::string(value);
  return "";
}

std::string ParseOutputCard(CommandLine& c, std::string_view value) {
  if (value.empty()) {
    return "nom du périphérique de sortie";
  }
  c.outputCard = std::string(value);
  return "";
}

std::string ParseConfig(CommandLine& c, std::string_view value) {
  if (value.empty()) {
    return "nom du fichier de configuration";
  }
  c.configFile = std::string(value);
  return "";
}

std::string ParseDuration(CommandLine& c, std::string_view value) {
  const std::string text(value);
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) ||
      seconds <= 0.0 || seconds > 864000.0) {
    return "durée en secondes, positive";
  }
  c.durationSeconds = seconds;
  return "";
}

std::string ParseLatency(CommandLine& c, std::string_view value) {
  static constexpr std::array<std::pair<std::string_view, bool>, 2> kLatencies{{
      {"normale", false},
      {"courte", true},
  }};
  return PickOne(kLatencies, c.shortLatency, value, "normale ou courte");
}

std::string SetSpectrumWindow(CommandLine& c, std::string_view) {
  c.spectrumWindow = true;
  return "";
}

std::string ParseSpectrumImage(CommandLine& c, std::string_view value) {
  if (value.empty()) {
    return "nom de l'image PNG";
  }
  c.spectrumImage = std::string(value);
  return "";
}

constexpr Request kSet = Request::Run;

// clang-format off
constexpr std::array<OptionDef, 29> kOptionDefs{{
    {"fe", "", '\0', "HZ", kFiltre, {""}, ParseFe, kSet,
     "fréquence d'échantillonnage : 8000 ou 11025 (défaut 8000),\n"
     "6250 ou 8000 pour le BFO (défaut 6250)"},
    {"coupure", "", '\0', "HZ|sans", kFiltre, {kPasseBas}, ParseCutoff, kSet,
     "passe-bas : 300 à 3000 par pas de 100 (défaut 1000)"},
    {"centre", "", '\0', "HZ|sans", kFiltre, {kPasseBande}, ParseCentre, kSet,
     "passe-bande : 100 à 3300 par pas de 50 (défaut 800)"},
    {"largeur", "", '\0', "HZ", kFiltre, {kPasseBande}, ParseWidth, kSet,
     "passe-bande : 120, 250, 500 ou 2000 (défaut 250)"},
    {"decalage", "", '\0', "N", kFiltre, {kBfoNumerique}, ParseShift, kSet,
     "BFO : translation en raies (défaut 0)"},
    {"inversion", "", '\0', "", kFiltre, {kBfoNumerique}, SetInverted, kSet,
     "BFO : inversion de spectre (à 6250 Hz)"},
    {"coefficients", "", '\0', "N", kFiltre, {kPasseBas, kPasseBande, kRejecteurParTfd},
     ParseTaps, kSet, "longueur du filtre (paire, 2 à 1000) au lieu de l'étalonnage"},
    {"frequence", "", '\0', "HZ", kFiltre, {kRejecteurParTfd}, ParseNotch, kSet,
     "réjecteur : 100 à 3300 par pas de 50 (défaut 1000)"},
    {"etroite", "", '\0', "", kFiltre, {kRejecteurParTfd}, SetNarrow, kSet,
     "réjecteur : bande étroite"},
    {"auto", "", '\0', "", kFiltre, {kRejecteurParTfd}, SetAuto, kSet,
     "réjecteur : recherche automatique de la porteuse"},
    {"seuil", "", '\0', "S", kFiltre, {kRejecteurParTfd}, ParseThreshold, kSet,
     "réjecteur : tres-haut, haut, bas (défaut) ou tres-bas"},
    {"diviseur", "", '\0', "D", kFiltre, {kRejecteurParTfd}, ParseDivisor, kSet,
     "réjecteur : 1, 2 ou 4 au lieu de l'étalonnage\n"
     "(avec --coefficients ou --diviseur, pas d'étalonnage ; la\n"
     "valeur non donnée reste 1000 coefficients ou diviseur 1)\n"
     "Avec --auto, une ligne par décision sur la sortie standard\n"
     "(sur la sortie d'erreur quand la sortie standard porte le son) :\n"
     "instant en secondes, Trouvé ou Echec, fréquence en Hz"},
    {"reduction", "", '\0', "R", kFiltre, {kReducteurGeneral}, ParseReduction, kSet,
     "réducteur général : sans, faible (défaut) ou forte"},
    {"mode", "", '\0', "M", kFiltre, {kReducteurCw}, ParseCwMode, kSet,
     "réducteur CW/RTTY : sans, cw (défaut) ou rtty"},
    {"brut", "", '\0', "T", kFiltre, {""}, ParseRaw, kSet,
     "entrée ou sortie - en échantillons bruts mono : u8 (8 bits non\n"
     "signé), s16 (16 bits signé) ou f32 (flottant), ordre de la machine"},
    {"fe-entree", "", '\0', "HZ", kFiltre, {""}, ParseInputRate, kSet,
     "avec --brut : fréquence de l'entrée standard (défaut : celle du filtre)"},
    {"fe-sortie", "", '\0', "HZ", kFiltre, {""}, ParseOutputRate, kSet,
     "écrire la sortie à cette fréquence, en 16 bits PCM (rééchantillonnée)"},
    {"carte", "", '\0', "NOM", kBothPrograms, {""}, ParseCard, kSet,
     "la carte son : un périphérique ALSA (« default » passe par\n"
     "PipeWire ou PulseAudio quand ils tournent), ou\n"
     "virtuelle:ENTREE.wav[:SORTIE.wav], la carte son virtuelle :\n"
     "son entrée joue ENTREE.wav en boucle, son haut-parleur est\n"
     "enregistré dans SORTIE.wav, et sa table de mixage est simulée ;\n"
     "virtuelle:ENTREE.wav:SORTIE.wav:+150ppm donne au haut-parleur\n"
     "sa propre horloge, 150 millionièmes plus rapide"},
    {"cartes", "", '\0', "", kBothPrograms, {""}, nullptr, Request::ListDevices,
     "lister les périphériques de capture et de lecture pour --carte\n"
     "(« default » en tête)"},
    {"entree", "", '\0', "NOM", kBothPrograms, {""}, ParseInputCard, kSet,
     "le périphérique ALSA qui enregistre le récepteur (voir\n"
     "arecord -L), à la place de celui de --carte"},
    {"sortie", "", '\0', "NOM", kBothPrograms, {""}, ParseOutputCard, kSet,
     "le périphérique ALSA qui joue le son filtré (voir aplay -L),\n"
     "à la place de celui de --carte ; deux périphériques ont\n"
     "chacun leur horloge : le son est rééchantillonné pour les\n"
     "suivre, et la table de mixage est celle de l'entrée"},
    {"duree", "", '\0', "S", kFiltre, {""}, ParseDuration, kSet,
     "en direct : s'arrêter après S secondes"},
    {"latence", "", '\0', "L", kBothPrograms, {""}, ParseLatency, kSet,
     "normale (défaut) : le passe-bas, le passe-bande et les\n"
     "réducteurs de bruit travaillent en direct par blocs d'un tiers\n"
     "de seconde ; courte : par blocs de 16 ms, le son est entendu\n"
     "environ 0,6 s plus tôt. Le BFO et le réjecteur gardent leurs\n"
     "blocs de 2048 échantillons."},
    {"spectre", "", '\0', "", kFenetre, {""}, SetSpectrumWindow, kSet,
     "ouvrir dès le départ la fenêtre « Spectre » (F2 l'ouvre\n"
     "ou la ferme pendant une séance)"},
    {"spectre", "", '\0', "IMAGE.png", kFiltre, {""}, ParseSpectrumImage, kSet,
     "écrire aussi l'image PNG des spectres moyens de l'entrée et\n"
     "de la sortie sur tout l'enregistrement, le filtre dessiné\n"
     "par-dessus (en direct, F2 montre le spectre sous l'écran)"},
    {"table-de-mixage", "", '\0', "", kFiltre, {""}, nullptr, kSet,
     "afficher la table de mixage"},
    {"config", "", '\0', "FICHIER", kBothPrograms, {""}, ParseConfig, kSet,
     "le fichier des réglages (entrée, niveau d'entrée, table de\n"
     "mixage) ; sans --config, CONFVEL.SER du répertoire courant\n"
     "s'il y est, sinon ~/.config/velunda/CONFVEL.SER\n"
     "($XDG_CONFIG_HOME/velunda/ si XDG_CONFIG_HOME est donné).\n"
     "velunda-filtre ne le lit qu'avec --table-de-mixage"},
    {"aide", "help", 'h', "", kBothPrograms, {""}, nullptr, Request::Help,
     "afficher cette aide"},
    {"version", "", 'V', "", kBothPrograms, {""}, nullptr, Request::Version,
     "afficher le nom et la version du programme"},
}};
// clang-format on

}  // namespace

bool CommandLine::Given(std::string_view name) const {
  return std::find(given.begin(), given.end(), name) != given.end();
}

std::span<const OptionDef> OptionTable() { return kOptionDefs; }

const OptionDef* FindOption(std::string_view name) {
  for (const auto& def : kOptionDefs) {
    if (def.name == name) {
      return &def;
    }
  }
  return nullptr;
}

bool Accepts(const OptionDef& def, Program program) {
  return (def.programs & static_cast<uint8_t>(program)) != 0;
}

bool AppliesTo(const OptionDef& def, std::string_view filterKind) {
  if (def.kinds[0].empty()) {
    return true;
  }
  return std::find(def.kinds.begin(), def.kinds.end(), filterKind) != def.kinds.end();
}

}  // namespace velunda
