#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio_io/audio_file.hpp"
#include "sessions/filter_settings.hpp"

namespace velunda {

// The two programs that read a command line; each option names those that accept it.
enum class Program : uint8_t { Velunda = 1, VelundaFiltre = 2 };
inline constexpr uint8_t kBothPrograms = 3;

// What an option asks besides settings: --aide, --version and --cartes end the reading at once.
enum class Request { Run, Help, Version, ListDevices };

// Everything the options of either program set; the defaults are the program's start-up values.
struct CommandLine {
  Request request = Request::Run;
  // The filter and its values: the kind (a FilterKind identifier, upper case) is known before
  // the options are applied, since the rates --fe allows depend on it. Its rate and block
  // length are set by the program once the rate is chosen.
  FilterSettings filter;

  // --fe HZ; 0 when not given (the filter's own default rate).
  int32_t sampleRate = 0;

  // Streams and rates: --brut u8|s16|f32, --fe-entree HZ (a raw input's rate, 0: the filter's),
  // --fe-sortie HZ (0: the output stays at the filter's rate, 8-bit).
  RawSample rawSample = RawSample::None;
  int32_t inputRate = 0;
  int32_t outputRate = 0;

  // The sound card: --carte NOM ("" when not given); --entree NOM and --sortie NOM, a device
  // for each direction in place of --carte's
  std::string card;
  std::string inputCard;
  std::string outputCard;
  // Live: --duree S (absent: until interrupted)
  std::optional<double> durationSeconds;
  // Live: --latence courte|normale (short blocks for the per-sample filters)
  bool shortLatency = false;
  // --config FICHIER: the settings file ("" when not given: chosen at start-up)
  std::string configFile;
  // --spectre: velunda opens its "Spectre" window at start; velunda-filtre --spectre IMAGE
  // also writes the recording's spectra as a PNG picture.
  bool spectrumWindow = false;
  std::string spectrumImage;

  // The options applied, by long name ("coupure", ...), in the order given.
  std::vector<std::string> given;
  bool Given(std::string_view name) const;
};

// Sets an option from the text given. On a bad value, returns the values allowed (for the
// message); else "". Switches are called with an empty text.
using OptionParser = std::string (*)(CommandLine&, std::string_view value);

// One option, declared once for both programs.
struct OptionDef {
  std::string_view name;                  // long name, without the dashes
  std::string_view synonym;               // a second long name, or ""
  char shortName;                         // a one-letter alias, or '\0'
  std::string_view valueName;             // "" for a switch
  uint8_t programs;                       // the Program values that accept it, or-ed
  std::array<std::string_view, 3> kinds;  // the filters it applies to ({""}: any)
  OptionParser parse;  // null: read by the program from its words (a mode, a request)
  Request request;     // Help or Version: ends the reading
  std::string_view help;
};

// Every option of both programs, in the order --aide lists them.
std::span<const OptionDef> OptionTable();

// The option of this long name (not a synonym), or null.
const OptionDef* FindOption(std::string_view name);

bool Accepts(const OptionDef& def, Program program);
bool AppliesTo(const OptionDef& def, std::string_view filterKind);

}  // namespace velunda
