#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velunda {

struct DspState;
class Clock;

// What a filter run is asked for: the filter, its rate and blocks, and the filter's own values.
// The window takes them from the values the program keeps (SettingsKept), velunda-filtre from
// its command line. The defaults are the program's start-up values.
struct FilterSettings {
  std::string kind;  // one of the FilterKind identifiers
  int32_t rate = 8000;
  int32_t blockLength = 2666;

  double LowPassCutoff = 1000.0;
  bool LowPassBypass = false;

  uint16_t BandPassCentre = 800;
  bool BandPassBypass = false;
  double BandPassWidth = 250.0;

  int32_t BfoShift = 0;
  bool BfoInverted = false;

  double NotchFrequency = 1000.0;
  bool NotchWide = true;
  bool NotchAuto = false;
  int32_t NotchThreshold = 1001;

  bool VoiceReductionOff = false;
  int32_t VoiceReductionLevel = 3;  // 3 weak, 1 strong

  bool CwReductionOff = false;
  uint8_t CwRttyMode = 0;  // 0 CW, 1 RTTY

  // Given instead of the first start's calibration: the filter's length (the low-pass, the
  // band-pass, the rejector's notch) and the rejector's detection divisor. With only one of the
  // rejector's two given, the other keeps its start value.
  std::optional<int32_t> tapCount;
  std::optional<int32_t> detectionDivisor;
};

// Samples per block of `kind` at `rate`: 2048 for the BFO and the rejector, else a third of a
// second, or 16 ms in the short-delay mode.
int32_t BlockLengthOf(std::string_view kind, int32_t rate, bool shortLatency);

// The values `dsp` keeps for `kind` (changed by the screens' keys from one session to the next),
// at dsp's rate and block length.
FilterSettings SettingsKept(const DspState& dsp, std::string_view kind);

// Makes `dsp` ready to filter as `settings` asks: FilterKind, SampleRate, BlockLength, the
// calibration on the filter's first start (unless a length or divisor is given), the rejector's
// notch tables, the filter's values, then its design for the start of a run. With NotchAuto the
// rejector's detection is armed as the Insert key arms it.
void PrepareFilter(DspState& dsp, const FilterSettings& settings, Clock& clock);

// The rejector's tables and calibration that a band-pass session's automatic centring borrows,
// made at `rate` on the first start of either filter in a run.
void PrepareCentringTables(DspState& dsp, int32_t rate, Clock& clock);

enum class DesignStep : uint8_t {
  Change,    // a value changed during a run
  RunStart,  // a run starts: the rejector also restarts its detection
};

// Designs the filter dsp.FilterKind from the values dsp keeps: the low-pass or band-pass
// kernel, the rejector's stop band (or its armed detection in automatic mode), a noise
// reducer's set-up, the BFO's transform tables.
void DesignFilter(DspState& dsp, DesignStep step = DesignStep::Change);

}  // namespace velunda
