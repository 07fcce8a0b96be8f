#pragma once
#include <array>
#include <cstdint>

namespace velunda {

struct DspState;
class Clock;

inline constexpr int kNotchSets = 65;        // centres 100, 150, ..., 3300 Hz
inline constexpr int kNotchSetLength = 500;  // half of a 1000-tap response

// One detection decision, kept for whoever reports decisions by sample (velunda-filtre).
struct NotchDecision {
  uint64_t sample;  // value of StepCount when the decision was taken (0-based sample index)
  bool found;
  int32_t frequency;  // NotchFrequency after the decision, Hz
};

// The carrier rejector: notch tables, settings, calibration results and automatic detection.
struct RejecteurState {
  // Notch tables: set i is the stop band centred on 50 * (i + 2) Hz.
  std::array<int32_t, kNotchSets * kNotchSetLength> NarrowNotchTable{};
  std::array<int32_t, kNotchSets * kNotchSetLength> WideNotchTable{};
  int32_t NotchLength = 1000;  // L: even, 2..1000
  int32_t DetectionDivisor = 1;
  int32_t RejectorSampleRate = 8000;
  double NotchNyquist = 4000.0;
  bool NotchTablesReady = false;
  bool RejectorCalibrated = false;

  // Settings.
  double NotchFrequency = 1000.0;
  uint8_t NotchWide = 1;
  uint8_t NotchAuto = 0;
  int32_t NotchThreshold = 1001;

  // Detection.
  uint16_t DetectionCounter = 1;
  int32_t BlockCounter = 0;
  int32_t BlocksPerDecision = 2;
  int32_t BlockDuration = 0;                     // ns per transform block
  int32_t BinWidth = 0;                          // mHz
  std::array<int32_t, 1026> PowerAccumulator{};  // positions 1..N/2+1; position k is bin k-1
  int32_t PeakPower = 1;
  uint16_t PeakPosition = 0;
  int32_t MeanPeakPower = 0;
  uint8_t NotchIndex = 20;
  uint8_t DecisionMade = 0;
  uint8_t CarrierFound = 0;

  // Bookkeeping for reporting: RejectorStep calls so far, and the decisions taken since the
  // reader last reset DecisionCount (at most four are kept).
  uint64_t StepCount = 0;
  std::array<NotchDecision, 4> Decisions{};
  uint8_t DecisionCount = 0;
};

// Fills the narrow (±50 Hz) or wide (±150 Hz) notch table for SampleRate, NotchNyquist and
// NotchLength; every coefficient is also written into the kernel.
void NotchDesignNarrow(DspState& dsp);
void NotchDesignWide(DspState& dsp);
// Copies the set for NotchFrequency and NotchWide into the kernel.
void NotchLoadSet(DspState& dsp);
// Clears the kernel's history, sets its length, and loads the set (manual mode) or arms the
// detection (automatic mode).
void NotchStart(DspState& dsp);
// Once per run: sizes the detection transform and NotchLength to the processor's speed.
void RejectorCalibrate(DspState& dsp, Clock& clock);
// Per-sample step: automatic detection, then the notch filter, on dsp.CurrentSample.
void RejectorStep(DspState& dsp);

// Byte to the detection scale -2000..2000.
int32_t ScaleDetectionSample(uint8_t x);
void ComputeBinWidth(DspState& dsp);
void AccumulatePower(DspState& dsp);
void FindPowerPeak(DspState& dsp);

// First start in a run of the rejector or the band-pass: designs both tables and calibrates.
// Sets SampleRate to RejectorSampleRate first. Does nothing once NotchTablesReady is set.
void PrepareNotchTables(DspState& dsp, Clock& clock);
// The rejector's launch settings (also those of the band-pass centring): windowed transform of
// 2048 div DetectionDivisor points, BlockDuration, CarrierFound cleared, NotchStart, and the
// detection counters. SampleRate must be the rejector's.
void PrepareRejectorRun(DspState& dsp);

}  // namespace velunda
