#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/engine_platform.hpp"

namespace velunda {

struct EngineState;
struct DspState;

// Flags of the sound-card tests.
struct TestsCarteSonState {
  uint8_t SoundCardOK = 0;
  uint8_t TestDone = 0;
  uint8_t Rate8000OK = 0;
  uint8_t Rate6250OK = 0;
  // The last two measurements of TestSoundCard, for display (0 until measured).
  int32_t Measured8000 = 0;
  int32_t Measured6250 = 0;
};

// A buffer that has not filled after this long ends the measurement (99999).
inline constexpr uint32_t kCaptureWaitLimitMs = 4000;
inline constexpr int32_t kNoMeasurement = 99999;

// Start-up check: a card with input and output, and the minimum format on one side.
uint8_t CheckSoundCardPresence(EngineState& e, const EnginePlatform& p);
// The full test, once per run: opens, full duplex, true rates at 8000 and 6250.
uint8_t TestSoundCard(EngineState& e, DspState& dsp, const EnginePlatform& p);
// The rate really delivered when capturing at `rate`; 0 when the input cannot be opened,
// 99999 when no measurement could be made. Leaves dsp.BlockLength at rate.
int32_t MeasureCaptureRate(EngineState& e, DspState& dsp, const EnginePlatform& p, int32_t rate);
// Whether a measured rate counts as the requested one (within 400 samples per second).
bool RateAccepted(int32_t requested, int32_t measured);

// The rate box: caption and whether it shows the "testing" red.
using RateBoxWriter = std::function<void(std::string_view caption, bool red)>;
// The timer's test steps: once, after start-up.
void Timer1Timer(EngineState& e, DspState& dsp, const EnginePlatform& p,
                 const RateBoxWriter& rateBox);

}  // namespace velunda
