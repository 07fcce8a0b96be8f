#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>

namespace velunda {

// Steers the rate at which the filters' output is resampled for a playback device whose clock
// is not the capture device's, so that the queue between them keeps `target` samples. A PI loop
// on the queue's fill, taken just before each captured block is pushed (the lowest point of the
// queue's sawtooth), smoothed over a few seconds so that the playback's own buffer steps do not
// reach the pitch.
class DriftControl {
 public:
  // Largest correction the control applies: 1 % (10000 ppm), far past any two crystals.
  static constexpr double kMaxCorrection = 0.01;

  DriftControl(int32_t rate, double target);

  // The queue's fill (playback samples) before `blockSamples` captured samples are pushed.
  // Gives the ratio, playback samples per captured sample, to resample that block at.
  double Update(double fill, int32_t blockSamples);
  double Ratio() const { return 1.0 + correction_; }
  // The correction has been at its limit for a minute in all: the clocks cannot be brought
  // together.
  bool OutOfRange() const { return pinnedSeconds_ >= 60.0; }

 private:
  double rate_;
  double target_;
  double smoothed_ = -1.0;  // < 0: no measure yet
  double integral_ = 0.0;   // sample-seconds
  double correction_ = 0.0;
  double pinnedSeconds_ = 0.0;
};

// The filters' 8-bit output resampled continuously at a ratio that may change at every call
// (libsoxr's variable-rate mode), each change spread over the block it comes with.
class DriftResampler {
 public:
  DriftResampler();
  ~DriftResampler();
  DriftResampler(const DriftResampler&) = delete;
  DriftResampler& operator=(const DriftResampler&) = delete;

  // Resamples `count` samples at `ratio` (output per input), appending the result to `out`.
  void Process(const uint8_t* in, size_t count, double ratio, std::deque<uint8_t>& out);

 private:
  void* handle_;
  double ratio_ = 1.0;
};

}  // namespace velunda
