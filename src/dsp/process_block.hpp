#pragma once
#include <cstdint>

namespace velunda {

struct DspState;

// Sample scale conversions of the BFO.
int32_t SampleToBfoValue(uint8_t s);
uint8_t BfoValueToSample(int32_t v);

// Passes dsp.BlockLength samples of `input` through the filter named by dsp.FilterKind into
// `output`. The one dispatch shared by the live loop and velunda-filtre.
void ProcessBlock(DspState& dsp, const uint8_t* input, uint8_t* output);

}  // namespace velunda
