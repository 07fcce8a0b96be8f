#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace velunda {

struct DspState;
struct Options;
class Clock;

// Whether the FilterKind is one of the six identifiers.
bool FilterKnown(std::string_view kind);

// Whether the kind runs at 6250/8000 Hz in blocks of 2048 (the BFO) rather than 8000/11025.
bool IsBfoKind(std::string_view kind);

// Prepares `dsp` as the action's launch does: FilterKind, SampleRate, BlockLength, the filter's
// settings taken from `options`, then the tap-count calibration (unless --coefficients gives the
// length) and the design or set-up, or the transform tables for the BFO. The same preparation
// serves the offline and the live modes. Returns false with a French message in `error` when the
// filter cannot run.
bool PrepareFilter(DspState& dsp, const Options& options, Clock& clock, std::string& error);

}  // namespace velunda
