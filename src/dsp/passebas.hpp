#pragma once
#include <array>
#include <cstdint>

namespace velunda {

struct DspState;
class Clock;

// The one program-wide symmetric FIR kernel, used in turn by the low-pass, the band-pass
// and the rejector. Whoever designs or loads coefficients also clears the history.
struct SymmetricFir {
  std::array<int32_t, 1000> delay{};        // internal scale 2*s - 255; see passebas.cpp for layout
  std::array<int32_t, 500> coefficients{};  // half of the impulse response, scaled by 100000
  uint16_t pairCount = 0;                   // H: tap count / 2
  int32_t accumulator = 0;
};

struct PasseBasState {
  double LowPassCutoff = 1000.0;
  bool LowPassBypass = false;
  int32_t LowPassTapCount = 1000;
  bool LowPassCalibrated = false;
};

void LowPassDesign(DspState& dsp);
void LowPassStep(DspState& dsp);
void LowPassCalibrate(DspState& dsp, Clock& clock);

}  // namespace velunda
