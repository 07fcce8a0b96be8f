#pragma once
#include <cstdint>

namespace velunda {

struct DspState;

// Sample scale conversions of the BFO: 0..255 to -20000..+20000 and back (the result keeps
// only its low 8 bits, so values out of range wrap).
int32_t SampleToBfoValue(uint8_t s);
uint8_t BfoValueToSample(int32_t v);

// Passes dsp.BlockLength samples of `input` through the filter named by dsp.FilterKind into
// `output`. The one dispatch shared by the live loop and velunda-filtre. Per-sample kinds go
// through CurrentSample one sample at a time; BFO_NUMERIQUE goes by whole sub-blocks of
// TransformSize and leaves the samples after the last one unwritten; any other kind leaves
// `output` untouched. Both buffers hold at least BlockLength samples.
void ProcessBlock(DspState& dsp, const uint8_t* input, uint8_t* output);

}  // namespace velunda
