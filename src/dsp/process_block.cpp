#include "dsp/process_block.hpp"

#include <string_view>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"

namespace velunda {

namespace {

using SampleStep = void (*)(DspState&);

struct SampleKind {
  std::string_view kind;
  SampleStep step;  // nullptr: no step, the sample passes through CurrentSample unchanged
};

// The per-sample kinds and their steps.
constexpr SampleKind kSampleKinds[] = {
    {kPasseBas, LowPassStep},         {kPasseBande, BandPassStep},
    {kRejecteurParTfd, RejectorStep}, {kReducteurGeneral, GeneralReducerStep},
    {kReducteurCw, CwReducerStep},
};

// The low-pass and band-pass steps over a whole block at once (the same bytes and state).
bool RunFixedFirBlock(DspState& dsp, SampleStep step, const uint8_t* input, uint8_t* output) {
  if ((step != LowPassStep && step != BandPassStep) || dsp.BlockLength <= 0) {
    return false;
  }
  const bool bypass =
      step == LowPassStep ? dsp.PasseBas.LowPassBypass : dsp.PasseBande.BandPassBypass;
  if (bypass) {
    FixedFirBypassBlock(dsp.Fir, input, output, dsp.BlockLength);
  } else {
    FixedFirBlock(dsp.Fir, input, output, dsp.BlockLength);
  }
  dsp.CurrentSample = output[dsp.BlockLength - 1];
  return true;
}

void RunSampleSteps(DspState& dsp, SampleStep step, const uint8_t* input, uint8_t* output) {
  if (RunFixedFirBlock(dsp, step, input, output)) {
    return;
  }
  for (int32_t i = 0; i < dsp.BlockLength; ++i) {
    dsp.CurrentSample = input[i];
    if (step != nullptr) {
      step(dsp);
    }
    output[i] = dsp.CurrentSample;
  }
}

// Whole sub-blocks of TransformSize only; the samples after the last one are not written.
void RunBfoBlocks(DspState& dsp, const uint8_t* input, uint8_t* output) {
  TransformState& t = dsp.Transform;
  const int32_t n = t.TransformSize;
  if (n <= 0 || n > static_cast<int32_t>(t.TimeBlock.size())) {
    return;
  }
  const int32_t blocks = dsp.BlockLength / n;
  for (int32_t s = 0; s < blocks; ++s) {
    const uint8_t* in = input + s * n;
    uint8_t* out = output + s * n;
    for (int32_t j = 0; j < n; ++j) {
      t.TimeBlock[j] = SampleToBfoValue(in[j]);
    }
    BfoBlockStep(dsp);
    for (int32_t j = 0; j < n; ++j) {
      out[j] = BfoValueToSample(t.SpectrumRe[j]);
    }
  }
}

}  // namespace

int32_t SampleToBfoValue(uint8_t s) { return ((10 * int32_t{s} - 1275) * 20000) / 1275; }

uint8_t BfoValueToSample(int32_t v) {
  // n = v·1275 + 25500000 in 32-bit wrap-around; the remainder takes the sign of n.
  const int32_t n = static_cast<int32_t>(static_cast<uint32_t>(v) * 1275u + 25500000u);
  const int32_t q = n / 200000;
  const int32_t r = n % 200000;
  const int32_t result = r > 100000 ? q + 1 : q;
  return static_cast<uint8_t>(static_cast<uint32_t>(result) & 0xFFu);
}

void ProcessBlock(DspState& dsp, const uint8_t* input, uint8_t* output) {
  // The rejector's detection restarts its block count at every block, for every kind.
  dsp.Rejecteur.DetectionCounter = 1;
  for (const SampleKind& k : kSampleKinds) {
    if (dsp.FilterKind == k.kind) {
      RunSampleSteps(dsp, k.step, input, output);
      return;
    }
  }
  if (dsp.FilterKind == kBfoNumerique) {
    RunBfoBlocks(dsp, input, output);
  }
  // Any other kind leaves the output as it was.
}

}  // namespace velunda
