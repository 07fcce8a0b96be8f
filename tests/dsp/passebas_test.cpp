#include "dsp/passebas.hpp"

#include "dsp/passebande.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

// Windowed-sinc designs: pairs, first two and last coefficients, twice the sum of all 500
// (tests/data/fir_design.py regenerates them). Entries beyond the new length keep what they
// held (77 here).
TEST(KernelDesign, Coefficients) {
  const std::tuple<double, double, int32_t, int32_t, std::vector<int32_t>> cases[] = {
      {0, 1000, 1000, 8000, {500, 24362, 19605, 2, 100016}},
      {0, 3000, 1000, 8000, {500, 58816, -8121, 5, 99988}},
      {0, 300, 1000, 8000, {500, 7483, 7345, -5, 99998}},
      {875, 1125, 1000, 8000, {500, 5772, 2383, 9, -6}},
      {100, 160, 1000, 8000, {500, 1498, 1482, -5, -104}},
      {2300, 3900, 1000, 8000, {500, 13618, -29957, 3, -8}},
      {0, 1000, 1200, 8000, {500, 24362, 19605, 2, 100016}},  // clamped
      {0, 1000, 10, 0, {5, 0, 0, 0, 2 * 495 * 77}}};          // no rate: silent
  for (const auto& [lower, upper, taps, rate, expected] : cases) {
    SymmetricFir fir;
    fir.coefficients.fill(77);
    SymmetricFirDesign(fir, taps, rate, lower, upper);
    const auto& c = fir.coefficients;
    EXPECT_EQ((std::vector<int32_t>{fir.pairCount, c[0], c[1], c[fir.pairCount - 1],
                                    2 * std::accumulate(c.begin(), c.end(), 0)}),
              expected)
        << lower << ".." << upper << " " << taps;
  }
}

// 100 timed steps; under the threshold (35 ms low-pass, 38 ms band-pass) 500 more. The tap
// count aims at 500 ms per second of audio, and the kernel is redesigned with it.
TEST(FilterCalibration, TapCountFromTimedSteps) {
  const std::tuple<bool, std::vector<uint32_t>, int32_t, int32_t> cases[] = {
      {false, {0, 40}, 8000, 152},            // d = 41 * 8000 / 100 = 3280, (250000 / 3280) * 2
      {false, {5, 35}, 8000, 172},            // at the threshold: still the 100-step figure
      {false, {0, 34, 966, 200}, 8000, 154},  // d = 201 * 8000 / 500 = 3216
      {false, {0, 0, 0, 0}, 8000, 1000},      // d = 16: far above 1000 taps
      {false, {0, 40}, 11025, 110},           // d = 41 * 11025 / 100 = 4520
      {false, {0, 100000}, 8000, 2},          // the formula gives 0: the shortest filter
      {true, {0, 38}, 8000, 160},             // d = 39 * 8000 / 100 = 3120
      {true, {0, 37, 13, 200}, 8000, 154}};
  for (const auto& [bandPass, steps, rate, taps] : cases) {
    auto dsp = std::make_unique<DspState>();
    dsp->SampleRate = rate;
    test::StepClock clock(steps);
    (bandPass ? BandPassCalibrate : LowPassCalibrate)(*dsp, clock);
    EXPECT_EQ(bandPass ? dsp->PasseBande.BandPassTapCount : dsp->PasseBas.LowPassTapCount, taps)
        << bandPass << " " << steps[1];
    EXPECT_TRUE(bandPass ? dsp->PasseBande.BandPassCalibrated : dsp->PasseBas.LowPassCalibrated);
    EXPECT_EQ(clock.reads(), steps.size());
    EXPECT_EQ(dsp->Fir.pairCount, taps / 2);
  }
}

}  // namespace
}  // namespace velunda
