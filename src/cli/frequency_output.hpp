#pragma once
#include <memory>
#include <string>

#include "sessions/frequency_analysis.hpp"

namespace velunda {

struct DspState;

// velunda-filtre --spectre IMAGE: the whole recording's spectra, written as a picture once the
// filtered output is written.
class SpectrumRecording {
 public:
  explicit SpectrumRecording(std::string path);
  bool Wanted() const { return !path_.empty(); }
  // One filtered block: `count` samples in and out.
  void Add(int32_t rate, const uint8_t* input, const uint8_t* output, int32_t count);
  // Writes the picture with the filter `dsp` ran; "" or one French line.
  std::string Write(const DspState& dsp) const;

 private:
  std::string path_;
  std::unique_ptr<SpectrumState> spectrum_;
};

// The terminal's spectrum line: the output's spectrum as `columns` block characters from 0 to
// Fe/2 (`rate` / 2), each as high as the loudest bin it covers, from -80 dB up.
std::string SpectrumLine(const SpectrumState& spectrum, int32_t rate, int columns);

}  // namespace velunda
