#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velunda {

// What velunda-filtre was asked to do.
enum class CommandMode {
  Offline,     // FILTRE ENTREE SORTIE: filter a recording
  Live,        // FILTRE --carte NOM: filter a sound card's input in real time
  MixerTable,  // --table-de-mixage: show the sound card's mixer
  Help,        // --aide: print the usage and leave
};

// Sample type of a raw stream (--brut): unsigned 8-bit, signed 16-bit or 32-bit float, mono,
// in the machine's byte order.
enum class RawSample { None, U8, S16, F32 };

// The name that stands for standard input (as ENTREE) or standard output (as SORTIE).
inline constexpr std::string_view kStdStream = "-";

// The command line of velunda-filtre, parsed and validated. Every filter's settings are here,
// whatever filter was chosen; the defaults are the program's start-up values.
struct Options {
  CommandMode mode = CommandMode::Offline;
  std::string filterKind;  // FilterKind identifier, upper case ("" with --table-de-mixage)
  std::string input;       // ENTREE (offline mode)
  std::string output;      // SORTIE (offline mode)

  // --fe HZ; 0 when not given (the filter's own default rate, see SampleRateOf).
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

  // Live mode: --carte NOM, --duree S (absent: until interrupted)
  std::string card;
  std::optional<double> durationSeconds;
  // Live mode: --latence courte|normale (short blocks for the per-sample filters)
  bool shortLatency = false;

  // Which options were given on the command line, by name without dashes ("coupure", ...).
  std::vector<std::string> given;
  bool Given(std::string_view name) const;
};

// Outcome of ParseOptions: on failure, `error` is one French line for stderr (exit status 2).
struct ParseResult {
  bool ok = false;
  std::string error;
};

// Parses the arguments after the program name into `options`.
ParseResult ParseOptions(const std::vector<std::string>& args, Options& options);

// The rate the filter runs at: --fe, else 8000 (6250 for the BFO).
int32_t SampleRateOf(const Options& options);

// Whether ENTREE or SORTIE is standard input or output.
bool IsStdStream(const std::string& name);

// Text printed by --aide.
std::string UsageText();

}  // namespace velunda
