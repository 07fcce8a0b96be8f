#pragma once
#include <array>
#include <cstdint>

namespace velunda {

// The receiver's audio and the filter's result as spectra, for the "Spectre" window, the
// terminal's spectrum line and velunda-filtre's picture. Read from the blocks the loop has
// already filtered: the audio path never waits for it nor sees it.
inline constexpr int kSpectrumBins = 256;                 // over 0..Fe/2
inline constexpr int kSpectrumFrame = 2 * kSpectrumBins;  // samples per transform
inline constexpr double kSpectrumAverageSeconds = 0.5;
inline constexpr float kSpectrumFloorDb = -100.0f;
inline constexpr int kSpectrumQueue = 32;  // analysed frames waiting to be shown

using SpectrumPower = std::array<float, kSpectrumBins>;

// One trace: the samples of the frame under way and the averaged power per bin (a full-scale
// sine at a bin's centre is 1).
struct SpectrumTrace {
  std::array<float, kSpectrumFrame> Samples{};
  int32_t Filled = 0;
  std::array<double, kSpectrumBins> Average{};
};

// Sliding: about the last half second, for a running session. Whole: the mean of every frame,
// for a recording.
enum class SpectrumAveraging : uint8_t { Sliding, Whole };

// Whoever shows the spectrum: told when it is shown or hidden, and when a block brought frames.
class SpectrumView {
 public:
  virtual ~SpectrumView() = default;
  virtual void SpectrumShownChanged(bool shown) = 0;
  virtual void SpectrumFed() = 0;
};

struct SpectrumState {
  bool Shown = false;  // nothing is analysed while hidden
  SpectrumAveraging Averaging = SpectrumAveraging::Sliding;
  int32_t SampleRate = 0;  // of the frames analysed so far
  SpectrumTrace Input;
  SpectrumTrace Output;
  // Frames analysed, not yet averaged: a block brings several at once; the window takes them
  // at the pace of the sound so that it moves more often than blocks come.
  std::array<SpectrumPower, kSpectrumQueue> QueuedInput{};
  std::array<SpectrumPower, kSpectrumQueue> QueuedOutput{};
  int32_t QueueFirst = 0;
  int32_t QueueCount = 0;
  double FramesDue = 0.0;  // frames the window may take, fractions kept
  int64_t FramesAveraged = 0;
  uint32_t CentringCarrier = 0;  // Hz of the band-pass centring's carrier; 0: none found
  SpectrumView* View = nullptr;
};

// Shows or hides; showing starts from empty traces. The view is told of a change.
void SetSpectrumShown(SpectrumState& s, bool shown);
void ToggleSpectrum(SpectrumState& s);
// Clears the traces and the queue for frames at `rate`.
void ResetSpectrum(SpectrumState& s, int32_t rate);

// Analyses `count` samples of a filtered block and its input (unsigned 8-bit, 128 silence):
// every whole frame is queued (Sliding) or averaged at once (Whole). A block at another rate
// starts the traces again. Tells the view.
void SpectrumFeed(SpectrumState& s, int32_t rate, const uint8_t* input, const uint8_t* output,
                  int32_t count);
// Averages up to `frames` queued frames, oldest first; returns how many.
int32_t SpectrumTake(SpectrumState& s, int32_t frames);
// Averages the frames due after `elapsedMs` of sound at SampleRate; returns how many.
int32_t SpectrumTakeDue(SpectrumState& s, uint32_t elapsedMs);

// The power of one frame per bin: Hann window, 512-point transform.
SpectrumPower FramePower(const std::array<float, kSpectrumFrame>& samples);
// A power in dB, never below kSpectrumFloorDb.
float PowerDb(double power);
std::array<float, kSpectrumBins> TraceDb(const SpectrumTrace& trace);
// The centre of bin k in Hz.
double BinFrequency(int bin, int32_t rate);

}  // namespace velunda
