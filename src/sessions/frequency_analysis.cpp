#include "sessions/frequency_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace velunda {
namespace {

constexpr int kN = kSpectrumFrame;
using Complex = std::complex<double>;

// The Hann window and the transform's twiddle factors, made once.
struct Tables {
  std::array<double, kN> window{};
  std::array<Complex, kN / 2> twiddle{};
  std::array<uint16_t, kN> reversed{};
  Tables() {
    for (int i = 0; i < kN; ++i) {
      window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kN);
      int r = 0;
      for (int bit = 1, j = i; bit < kN; bit <<= 1, j >>= 1) {
        r = (r << 1) | (j & 1);
      }
      reversed[i] = static_cast<uint16_t>(r);
    }
    for (int k = 0; k < kN / 2; ++k) {
      twiddle[k] = std::polar(1.0, -2.0 * std::numbers::pi * k / kN);
    }
  }
};

const Tables& TheTables() {
  static const Tables tables;
  return tables;
}

// A full-scale sine through the Hann window peaks at N/4 in its bin: that power is 1.
constexpr double kFullScale = (kN / 4.0) * (kN / 4.0);

void Transform(std::array<Complex, kN>& x) {
  const Tables& t = TheTables();
  for (int i = 0; i < kN; ++i) {
    if (i < t.reversed[i]) {
      std::swap(x[i], x[t.reversed[i]]);
    }
  }
  for (int size = 2; size <= kN; size <<= 1) {
    const int half = size / 2;
    const int step = kN / size;
    for (int start = 0; start < kN; start += size) {
      for (int k = 0; k < half; ++k) {
        const Complex w = t.twiddle[k * step] * x[start + k + half];
        x[start + k + half] = x[start + k] - w;
        x[start + k] += w;
      }
    }
  }
}

// Takes a frame's samples; true when the frame is whole (and Filled back to 0).
bool Collect(SpectrumTrace& trace, const uint8_t* samples, int32_t& at, int32_t count) {
  while (at < count && trace.Filled < kN) {
    trace.Samples[trace.Filled++] = (static_cast<float>(samples[at++]) - 128.0f) / 128.0f;
  }
  if (trace.Filled < kN) {
    return false;
  }
  trace.Filled = 0;
  return true;
}

void Average(SpectrumState& s, SpectrumTrace& trace, const SpectrumPower& frame) {
  const double n = static_cast<double>(s.FramesAveraged + 1);
  const double alpha = s.Averaging == SpectrumAveraging::Whole
                           ? 1.0 / n
                           : std::max(1.0 / n, kSpectrumFrame / (kSpectrumAverageSeconds *
                                                                 std::max(s.SampleRate, 1)));
  for (int k = 0; k < kSpectrumBins; ++k) {
    trace.Average[k] += alpha * (frame[k] - trace.Average[k]);
  }
}

void AverageFrame(SpectrumState& s, const SpectrumPower& in, const SpectrumPower& out) {
  Average(s, s.Input, in);
  Average(s, s.Output, out);
  ++s.FramesAveraged;
}

void Queue(SpectrumState& s, const SpectrumPower& in, const SpectrumPower& out) {
  if (s.QueueCount == kSpectrumQueue) {
    SpectrumTake(s, 1);  // the oldest goes into the averages rather than being lost
  }
  const auto at = static_cast<size_t>((s.QueueFirst + s.QueueCount) % kSpectrumQueue);
  s.QueuedInput[at] = in;
  s.QueuedOutput[at] = out;
  ++s.QueueCount;
}

}  // namespace

void ResetSpectrum(SpectrumState& s, int32_t rate) {
  s.SampleRate = rate;
  s.Input = {};
  s.Output = {};
  s.QueueFirst = 0;
  s.QueueCount = 0;
  s.FramesDue = 0.0;
  s.FramesAveraged = 0;
}

void SetSpectrumShown(SpectrumState& s, bool shown) {
  if (s.Shown == shown) {
    return;
  }
  s.Shown = shown;
  if (shown) {
    ResetSpectrum(s, s.SampleRate);
  }
  if (s.View != nullptr) {
    s.View->SpectrumShownChanged(shown);
  }
}

void ToggleSpectrum(SpectrumState& s) { SetSpectrumShown(s, !s.Shown); }

void SpectrumFeed(SpectrumState& s, int32_t rate, const uint8_t* input, const uint8_t* output,
                  int32_t count) {
  if (rate != s.SampleRate) {
    ResetSpectrum(s, rate);
  }
  int32_t inAt = 0;
  int32_t outAt = 0;
  while (inAt < count) {
    const bool whole = Collect(s.Input, input, inAt, count);
    Collect(s.Output, output, outAt, count);
    if (!whole) {
      break;
    }
    const SpectrumPower in = FramePower(s.Input.Samples);
    const SpectrumPower out = FramePower(s.Output.Samples);
    if (s.Averaging == SpectrumAveraging::Whole) {
      AverageFrame(s, in, out);
    } else {
      Queue(s, in, out);
    }
  }
  if (s.View != nullptr) {
    s.View->SpectrumFed();
  }
}

int32_t SpectrumTake(SpectrumState& s, int32_t frames) {
  int32_t taken = 0;
  while (taken < frames && s.QueueCount > 0) {
    const auto at = static_cast<size_t>(s.QueueFirst);
    AverageFrame(s, s.QueuedInput[at], s.QueuedOutput[at]);
    s.QueueFirst = (s.QueueFirst + 1) % kSpectrumQueue;
    --s.QueueCount;
    ++taken;
  }
  return taken;
}

int32_t SpectrumTakeDue(SpectrumState& s, uint32_t elapsedMs) {
  s.FramesDue += static_cast<double>(elapsedMs) * s.SampleRate / (1000.0 * kSpectrumFrame);
  // Never more than the queue holds in credit: a pause in the blocks is no reason to rush.
  s.FramesDue = std::min(s.FramesDue, static_cast<double>(s.QueueCount));
  const int32_t taken = SpectrumTake(s, static_cast<int32_t>(s.FramesDue));
  s.FramesDue -= taken;
  return taken;
}

SpectrumPower FramePower(const std::array<float, kSpectrumFrame>& samples) {
  const Tables& t = TheTables();
  std::array<Complex, kN> x;
  for (int i = 0; i < kN; ++i) {
    x[i] = Complex(samples[i] * t.window[i], 0.0);
  }
  Transform(x);
  SpectrumPower power;
  for (int k = 0; k < kSpectrumBins; ++k) {
    power[k] = static_cast<float>(std::norm(x[k]) / kFullScale);
  }
  return power;
}

float PowerDb(double power) {
  if (power <= 0.0) {
    return kSpectrumFloorDb;
  }
  return std::max(kSpectrumFloorDb, static_cast<float>(10.0 * std::log10(power)));
}

std::array<float, kSpectrumBins> TraceDb(const SpectrumTrace& trace) {
  std::array<float, kSpectrumBins> db;
  for (int k = 0; k < kSpectrumBins; ++k) {
    db[k] = PowerDb(trace.Average[k]);
  }
  return db;
}

double BinFrequency(int bin, int32_t rate) {
  return static_cast<double>(bin) * rate / kSpectrumFrame;
}

}  // namespace velunda
