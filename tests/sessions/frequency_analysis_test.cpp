// The spectrum model on synthetic tones through the real filters, and the filter drawn over it.
#include "sessions/frequency_analysis.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "common/signals.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"
#include "platform/virtual/manual_clock.hpp"
#include "sessions/filter_settings.hpp"
#include "sessions/frequency_picture.hpp"

namespace velunda::test {
namespace {

FilterSettings Settings(const char* kind, int32_t rate, std::function<void(FilterSettings&)> set) {
  FilterSettings s;
  s.kind = kind;
  s.rate = rate;
  s.blockLength = 2048;
  s.tapCount = 200;
  s.detectionDivisor = 1;
  set(s);
  return s;
}

// A filter prepared as the sessions prepare it, on a clock that never moves.
std::unique_ptr<DspState> Prepared(const FilterSettings& s) {
  auto dsp = std::make_unique<DspState>();
  ManualClock clock;
  PrepareFilter(*dsp, s, clock);
  return dsp;
}

// The magnitude, in dB, of the symmetric kernel's response at `hz`.
double KernelGainDb(const SymmetricFir& fir, double hz, int32_t rate) {
  double h = 0.0;
  for (int k = 0; k < fir.pairCount; ++k) {
    h +=
        2.0 * fir.coefficients[static_cast<size_t>(k)] * std::cos(2 * M_PI * hz * (k + 0.5) / rate);
  }
  return 20.0 * std::log10(std::abs(h) / 100000.0);
}

struct ToneRow {
  const char* name;
  FilterSettings settings;
  double hz;
  int peakBin;          // where the input's tone peaks
  double minimumCutDb;  // the output at least this much lower at the tone
  bool cutIsKernel;     // the cut also equals the kernel's own attenuation there (±0.5 dB)
  friend void PrintTo(const ToneRow& row, std::ostream* os) { *os << row.name; }
};

class SpectrumOfTone : public testing::TestWithParam<ToneRow> {};

// A tone of amplitude 90/128 through the filter over a whole recording: its peak in the right
// bin at its level, and the output lower by the filter's attenuation at the tone.
TEST_P(SpectrumOfTone, PeaksInItsBinAndShowsTheFilterCut) {
  const ToneRow& row = GetParam();
  auto dsp = Prepared(row.settings);
  const int32_t rate = row.settings.rate;
  const std::vector<uint8_t> in = common::Tone(row.hz, rate, 12 * 2048);
  std::vector<uint8_t> out(in.size());
  for (size_t i = 0; i < in.size(); i += 2048) {
    ProcessBlock(*dsp, in.data() + i, out.data() + i);
  }
  SpectrumState s;
  s.Averaging = SpectrumAveraging::Whole;
  // Odd pieces: frames straddle the blocks; the first two blocks (the filter filling) left out.
  for (size_t i = 4096; i < in.size(); i += 1000) {
    const auto n = static_cast<int32_t>(std::min<size_t>(1000, in.size() - i));
    SpectrumFeed(s, rate, in.data() + i, out.data() + i, n);
  }
  const auto inDb = TraceDb(s.Input);
  const auto outDb = TraceDb(s.Output);
  const auto peak = std::max_element(inDb.begin(), inDb.end()) - inDb.begin();
  EXPECT_EQ(peak, row.peakBin);
  EXPECT_NEAR(inDb[static_cast<size_t>(peak)], 20 * std::log10(90.0 / 128), 1.5);
  const double cut = inDb[static_cast<size_t>(peak)] - outDb[static_cast<size_t>(peak)];
  EXPECT_GE(cut, row.minimumCutDb);
  if (row.cutIsKernel) {
    EXPECT_NEAR(cut, -KernelGainDb(dsp->Fir, row.hz, rate), 0.5);
  }
}

const auto kBandPass800 = [](FilterSettings& s) { s.BandPassCentre = 800; };
const auto kLowPass1000 = [](FilterSettings& s) { s.LowPassCutoff = 1000; };
const auto kNone = [](FilterSettings&) {};

INSTANTIATE_TEST_SUITE_P(
    Filters, SpectrumOfTone,
    testing::Values(
        // 700 Hz is bin 44.8 of 512 points at 8000 Hz.
        ToneRow{"BandPass700", Settings("PASSEBANDE", 8000, kBandPass800), 700, 45, -1, true},
        ToneRow{"BandPassOutside2000", Settings("PASSEBANDE", 8000, kBandPass800), 2000, 128, 40,
                false},
        ToneRow{"LowPassInside600", Settings("PASSEBAS", 8000, kLowPass1000), 600, 38, -1, true},
        ToneRow{"LowPassOutside2500", Settings("PASSEBAS", 8000, kLowPass1000), 2500, 160, 40,
                false},
        ToneRow{"RejectorOnItsNotch", Settings("REJECTEUR_PAR_TFD", 8000, kNone), 1000, 64, 20,
                false},
        // 3000 Hz is bin 139.3 at 11025 Hz, 300 Hz bin 24.6 at 6250 Hz.
        ToneRow{"ReducerAt11025", Settings("REDUCTEUR_GENERAL", 11025, kNone), 3000, 139, -20,
                false},
        ToneRow{"BfoAt6250", Settings("BFO_NUMERIQUE", 6250, kNone), 300, 25, -3, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct OverlayRow {
  const char* name;
  FilterSettings settings;
  SpectrumOverlay::Band band;
  double low, high, carrier, shift;
  friend void PrintTo(const OverlayRow& row, std::ostream* os) { *os << row.name; }
};

class Overlay : public testing::TestWithParam<OverlayRow> {};

TEST_P(Overlay, DrawsTheFilterFromItsSettings) {
  const OverlayRow& row = GetParam();
  auto dsp = Prepared(row.settings);
  if (row.carrier > 0) {
    dsp->Rejecteur.CarrierFound = 1;  // as a decision leaves it
  }
  const SpectrumOverlay o = OverlayOf(*dsp);
  EXPECT_EQ(o.band, row.band);
  EXPECT_DOUBLE_EQ(o.low, row.low);
  EXPECT_DOUBLE_EQ(o.high, row.high);
  EXPECT_DOUBLE_EQ(o.carrier, row.carrier);
  EXPECT_NEAR(o.shift, row.shift, 0.01);
  EXPECT_FALSE(o.title.empty());
}

using Band = SpectrumOverlay::Band;
INSTANTIATE_TEST_SUITE_P(
    Filters, Overlay,
    testing::Values(
        // The band-pass's shaded area spans centre ± width / 2.
        OverlayRow{"BandPass800x250", Settings("PASSEBANDE", 8000, kBandPass800), Band::Kept, 675,
                   925, 0, 0},
        OverlayRow{
            "BandPass3000x2000",
            Settings("PASSEBANDE", 8000,
                     [](FilterSettings& s) { s.BandPassCentre = 3000, s.BandPassWidth = 2000; }),
            Band::Kept, 2000, 3900, 0, 0},
        OverlayRow{"BandPassBypassed",
                   Settings("PASSEBANDE", 8000, [](FilterSettings& s) { s.BandPassBypass = true; }),
                   Band::None, 0, 0, 0, 0},
        OverlayRow{"LowPass1000", Settings("PASSEBAS", 8000, kLowPass1000), Band::Kept, 0, 1000, 0,
                   0},
        OverlayRow{
            "NarrowNotch1200",
            Settings("REJECTEUR_PAR_TFD", 8000,
                     [](FilterSettings& s) { s.NotchFrequency = 1200, s.NotchWide = false; }),
            Band::Removed, 1150, 1250, 0, 0},
        OverlayRow{"WideNotchOnTheCarrierFound",
                   Settings("REJECTEUR_PAR_TFD", 8000,
                            [](FilterSettings& s) { s.NotchFrequency = 1250, s.NotchAuto = true; }),
                   Band::Removed, 1100, 1400, 1250, 0},
        // Ten bins of 6250 / 1024 Hz.
        OverlayRow{"BfoShift10",
                   Settings("BFO_NUMERIQUE", 6250, [](FilterSettings& s) { s.BfoShift = 10; }),
                   Band::None, 0, 0, 0, 61.04}),
    [](const auto& info) { return std::string(info.param.name); });

// A block brings several frames at once; they are shown at the pace of the sound, and a block
// at another rate starts the traces again.
TEST(SpectrumPace, FramesFollowTheSound) {
  SpectrumState s;
  SetSpectrumShown(s, true);
  const std::vector<uint8_t> block = common::Tone(700, 8000, 2666);
  SpectrumFeed(s, 8000, block.data(), block.data(), 2666);
  EXPECT_EQ(s.QueueCount, 5);              // 2666 samples: five frames of 512, 106 kept
  EXPECT_EQ(SpectrumTakeDue(s, 100), 1);   // 1.56 frames due
  EXPECT_EQ(SpectrumTakeDue(s, 100), 2);   // 3.12
  EXPECT_EQ(SpectrumTakeDue(s, 1000), 2);  // no more than came
  EXPECT_EQ(SpectrumTakeDue(s, 0), 0);     // and no credit kept for frames not yet come
  SpectrumFeed(s, 6250, block.data(), block.data(), 512);
  EXPECT_EQ(s.SampleRate, 6250);
  EXPECT_EQ(s.FramesAveraged, 0);
  EXPECT_EQ(s.QueueCount, 1);
}

}  // namespace
}  // namespace velunda::test
