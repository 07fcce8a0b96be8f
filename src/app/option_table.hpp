#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velunda {

// The two programs that read a command line; each option names those that accept it.
enum class Program : uint8_t { Velunda = 1, VelundaFiltre = 2 };
inline constexpr uint8_t kBothPrograms = 3;

// What an option asks besides settings: --aide and --version end the reading at once.
enum class Request { Run, Help, Version };

// Sample type of a raw stream (--brut): unsigned 8-bit, signed 16-bit or 32-bit float, mono,
// in the machine's byte order.
enum class RawSample { None, U8, S16, F32 };

// Everything the options of either program set; the defaults are the program's start-up values.
struct CommandLine {
  Request request = Request::Run;
  // FilterKind identifier, upper case; known before the options are applied, since the rates
  // --fe allows depend on it.
  std::string filterKind;

  // --fe HZ; 0 when not given (the filter's own default rate).
  int32_t sampleRate = 0;

  // Streams and rates: --brut u8|s16|f32, --fe-entree HZ (a raw input's rate, 0: the filter's),
  // --fe-sortie HZ (0: the output stays at the filter's rate, 8-bit).
  RawSample rawSample = RawSample::None;
  int32_t inputRate = 0;
  int32_t outputRate = 0;

  // Low-pass: --coupure HZ | sans
  double LowPassCutoff = 1000.0;
  bool LowPassBypass = false;

  // Band-pass: --centre HZ | sans, --largeur HZ
  uint16_t BandPassCentre = 800;
  bool BandPassBypass = false;
  double BandPassWidth = 250.0;

  // BFO: --decalage N (bins), --inversion
  int32_t BfoShift = 0;
  bool BfoInverted = false;

  // --coefficients N: FIR length instead of the processor calibration (even, 2..1000).
  std::optional<int32_t> tapCount;

  // Carrier rejector: --frequence HZ, --etroite, --auto, --seuil N, --diviseur D
  double NotchFrequency = 1000.0;
  bool NotchWide = true;
  bool NotchAuto = false;
  int32_t NotchThreshold = 1001;            // 20001, 5001, 1001 or 101
  std::optional<int32_t> detectionDivisor;  // 1, 2 or 4 instead of the calibration

  // General noise reducer: --reduction sans|faible|forte
  bool VoiceReductionOff = false;
  int32_t VoiceReductionLevel = 3;  // 3 weak, 1 strong

  // CW/RTTY noise reducer: --mode sans|cw|rtty
  bool CwReductionOff = false;
  uint8_t CwRttyMode = 0;  // 0 CW, 1 RTTY

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
