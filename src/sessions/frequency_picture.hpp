#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sessions/frequency_analysis.hpp"

namespace velunda {

struct DspState;

// What the running filter does, drawn over the spectra: the band it keeps or the band it takes
// out, the carrier its search found, the BFO's shift.
struct SpectrumOverlay {
  enum class Band : uint8_t { None, Kept, Removed };
  Band band = Band::None;
  double low = 0.0;  // Hz
  double high = 0.0;
  double carrier = 0.0;  // Hz; 0: none
  double shift = 0.0;    // the BFO's translation, Hz
  bool inverted = false;
  std::string title;  // the filter and its values, in French
  bool operator==(const SpectrumOverlay&) const = default;
};

// The filter's overlay from the values it runs with. `centringCarrier`: the band-pass
// centring's result (0: none).
SpectrumOverlay OverlayOf(const DspState& dsp, uint32_t centringCarrier = 0);

// Everything a painting of the spectrum needs.
struct SpectrumPicture {
  int32_t SampleRate = 8000;
  bool HasTraces = false;  // no frame analysed yet: the axes and the filter only
  std::array<float, kSpectrumBins> InputDb{};
  std::array<float, kSpectrumBins> OutputDb{};
  SpectrumOverlay Overlay;
};

SpectrumPicture PictureOf(const SpectrumState& spectrum, const DspState& dsp);

}  // namespace velunda
