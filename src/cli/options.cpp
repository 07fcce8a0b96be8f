#include "cli/options.hpp"

#include "app/option_reader.hpp"
#include "cli/filter_setup.hpp"

namespace velunda {
namespace {

constexpr Program kThis = Program::VelundaFiltre;

std::string Fail(const std::string& text) { return Refusal(kThis, text); }

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

const std::string kFilterList =
    "PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, REJECTEUR_PAR_TFD, REDUCTEUR_GENERAL ou REDUCTEUR_CW";

// The first word: the filter (no word at all with --table-de-mixage).
std::string ReadFilter(const CommandWords& words, Options& o) {
  const std::vector<std::string>& others = words.others;
  if (words.Has("table-de-mixage")) {
    o.mode = CommandMode::MixerTable;
    return others.empty() ? "" : Fail("argument en trop : " + others.front());
  }
  if (others.empty()) {
    return Fail("il manque le nom du filtre (" + kFilterList + ")");
  }
  o.filter.kind = Upper(others.front());
  if (!FilterKnown(o.filter.kind)) {
    return Fail("filtre inconnu : " + others.front() + " (" + kFilterList + ")");
  }
  return "";
}

// The words after the filter: the two files, or none with --carte. Sets the mode.
std::string ReadFiles(const CommandWords& words, Options& o) {
  const std::vector<std::string>& others = words.others;
  if (o.mode == CommandMode::MixerTable) {
    return "";
  }
  if (words.Has("carte") || words.Has("entree") || words.Has("sortie")) {
    o.mode = CommandMode::Live;
    return others.size() == 1 ? "" : Fail("avec --carte, pas de fichier d'entrée ni de sortie");
  }
  if (others.size() != 3) {
    return Fail(others.size() < 3 ? "il faut un fichier d'entrée et un fichier de sortie"
                                  : "argument en trop : " + others[3]);
  }
  o.input = others[1];
  o.output = others[2];
  return o.input.empty() || o.output.empty() ? Fail("nom de fichier vide") : "";
}

// Options given for another mode or another filter.
std::string CheckOptionsFit(const CommandWords& words, const Options& o) {
  for (const auto& [def, value] : words.options) {
    const std::string option = "l'option --" + std::string(def->name);
    if (o.mode == CommandMode::MixerTable) {
      if (def->name != "table-de-mixage" && def->name != "carte" && def->name != "config") {
        return Fail(option + " ne s'utilise pas avec --table-de-mixage");
      }
    } else if (def->name == "config") {
      // Only the mixer table reads the settings file; a filter run neither reads nor writes it.
      return Fail(option + " ne s'utilise qu'avec --table-de-mixage");
    } else if (!AppliesTo(*def, o.filter.kind)) {
      return Fail(option + " ne s'applique pas au filtre " + o.filter.kind);
    }
  }
  return "";
}

// Largest |BfoShift| the BFO screen's keys reach at this rate: one bin beyond 1000 Hz.
int32_t MaxBfoShift(int32_t rate) {
  const int32_t binWidth = rate * 1000 / 1024;
  return (1000000 + binWidth - 1) / binWidth;
}

// The BFO's settings that depend on its rate.
std::string CheckBfo(const Options& o) {
  if (!IsBfoKind(o.filter.kind)) {
    return "";
  }
  const int32_t rate = SampleRateOf(o);
  const int32_t limit = MaxBfoShift(rate);
  if (o.filter.BfoShift < -limit || o.filter.BfoShift > limit) {
    return Fail("valeur incorrecte pour --decalage : " + std::to_string(o.filter.BfoShift) +
                " (de " + std::to_string(-limit) + " à " + std::to_string(limit) + " raies à " +
                std::to_string(rate) + " Hz)");
  }
  if (o.filter.BfoInverted && rate != 6250) {
    return Fail("l'inversion de spectre demande la fréquence d'échantillonnage de 6250 Hz");
  }
  return "";
}

// Options that only make sense with files or streams, or only live.
std::string CheckStreams(const Options& o) {
  const bool live = o.mode == CommandMode::Live;
  for (std::string_view name : {"duree", "latence"}) {
    if (o.Given(name) && !live) {
      return Fail("l'option --" + std::string(name) + " ne s'utilise qu'avec --carte");
    }
  }
  for (std::string_view name : {"brut", "fe-entree", "fe-sortie", "spectre"}) {
    if (o.Given(name) && live) {
      return Fail("l'option --" + std::string(name) + " ne s'utilise pas avec --carte");
    }
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

}  // namespace

int32_t SampleRateOf(const Options& options) {
  if (options.sampleRate != 0) {
    return options.sampleRate;
  }
  return IsBfoKind(options.filter.kind) ? 6250 : 8000;
}

ParseResult ParseOptions(const std::vector<std::string>& args, Options& o) {
  o = Options{};
  CommandWords words;
  std::string error = SplitWords(kThis, args, words);
  if (error.empty() && words.request != Request::Run) {
    o.request = words.request;
    o.mode = words.request == Request::Help      ? CommandMode::Help
             : words.request == Request::Version ? CommandMode::Version
                                                 : CommandMode::Devices;
    return {true, ""};
  }
  if (error.empty()) {
    error = ReadFilter(words, o);
  }
  if (error.empty()) {
    error = CheckOptionsFit(words, o);
  }
  if (error.empty()) {
    error = ApplyOptions(kThis, words, o);
  }
  if (error.empty()) {
    error = ReadFiles(words, o);
  }
  if (error.empty()) {
    error = CheckBfo(o);
  }
  if (error.empty()) {
    error = CheckStreams(o);
  }
  return {error.empty(), error};
}

bool IsStdStream(const std::string& name) { return name == kStdStream; }

std::string UsageText() {
  return FormatUsage(
      kThis,
      {"velunda-filtre FILTRE [options] ENTREE SORTIE",
       "velunda-filtre FILTRE [options] --carte NOM [--duree S]",
       "velunda-filtre FILTRE [options] --entree NOM --sortie NOM",
       "velunda-filtre --table-de-mixage [--carte NOM] [--config FICHIER]",
       "velunda-filtre --cartes | --aide | --version"},
      "FILTRE : PASSEBAS, PASSEBANDE, BFO_NUMERIQUE, REJECTEUR_PAR_TFD,\n"
      "  REDUCTEUR_GENERAL ou REDUCTEUR_CW (majuscules ou minuscules).\n"
      "ENTREE, SORTIE : fichier son (WAV, FLAC... à toute fréquence ; l'entrée est\n"
      "  rééchantillonnée à celle du filtre), brut 8 bits non signé mono si le nom\n"
      "  finit par .u8, ou - pour l'entrée ou la sortie standard (flux WAV, ou brut\n"
      "  avec --brut). La sortie est en 8 bits non signé mono à la fréquence du\n"
      "  filtre, ou en 16 bits à celle de --fe-sortie.\n"
      "--carte NOM : filtrer en direct l'entrée de cette carte son ; --entree et\n"
      "  --sortie : le récepteur sur un périphérique, le haut-parleur sur un autre.\n");
}

}  // namespace velunda
