#include "dsp/rejecteur_par_tfd.hpp"

#include "dsp/process_block.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

// Tables designed at `rate` with 1000 taps, no calibration.
std::unique_ptr<DspState> DesignedRejector(int32_t rate) {
  auto dsp = std::make_unique<DspState>();
  RejecteurState& r = dsp->Rejecteur;
  r.RejectorSampleRate = rate;
  r.NotchNyquist = rate / 2;
  dsp->SampleRate = rate;
  NotchDesignNarrow(*dsp);
  NotchDesignWide(*dsp);
  return dsp;
}

// The kernel holds the first `pairs` coefficients of the set centred on `centreHz`.
bool Loaded(const DspState& dsp, bool wide, int32_t centreHz, int32_t pairs = kNotchSetLength) {
  const auto& table = wide ? dsp.Rejecteur.WideNotchTable : dsp.Rejecteur.NarrowNotchTable;
  const int32_t* set = table.data() + (centreHz / 50 - 2) * kNotchSetLength;
  return std::equal(set, set + pairs, dsp.Fir.coefficients.begin());
}

// Automatic mode prepared as a launch does.
std::unique_ptr<DspState> AutomaticRejector(int32_t divisor, int32_t threshold) {
  auto dsp = DesignedRejector(8000);
  dsp->Rejecteur.DetectionDivisor = divisor;
  dsp->Rejecteur.NotchThreshold = threshold;
  dsp->Rejecteur.NotchAuto = 1;
  PrepareRejectorRun(*dsp);
  return dsp;
}

// NotchStart in manual mode loads the set of round(frequency) div 50 from the table NotchWide
// selects (length / 2 pairs of it) and clears the history; a carrier at the centre then loses
// more than 40 dB, and no detection decision is taken. Sets begin with the designed
// coefficients; at 100 Hz wide the lower edge is raised to 25 Hz.
TEST(NotchStart, LoadsTheSetThatRemovesTheCarrier) {
  const std::tuple<int32_t, double, uint8_t, int32_t, int32_t, std::vector<int32_t>> cases[] = {
      {8000, 1020.0, 1, 1000, 1000, {56737, -24075, 15560, -2360, 13680, -3113}},
      {8000, 1049.4, 0, 1000, 1000, {61352, -22176, 13687, -6791, 9370, -4837}},
      {8000, 100.0, 1, 1000, 100, {58047, -26755, 7355}},
      {8000, 1049.9, 0, 1000, 1050, {}},
      {8000, 3300.0, 1, 600, 3300, {}},
      {11025, 2450.0, 0, 1000, 2450, {}}};
  std::unique_ptr<DspState> dsp;
  for (const auto& [rate, frequency, wide, length, centre, head] : cases) {
    if (!dsp || dsp->SampleRate != rate) {
      dsp = DesignedRejector(rate);
    }
    dsp->Rejecteur.NotchFrequency = frequency;
    dsp->Rejecteur.NotchWide = wide;
    dsp->Rejecteur.NotchLength = length;
    NotchStart(*dsp);
    EXPECT_EQ(dsp->Fir.pairCount, length / 2);
    EXPECT_TRUE(Loaded(*dsp, wide == 1, centre, length / 2)) << frequency << " " << int{wide};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), dsp->Fir.coefficients.begin())) << centre;
    for (int32_t i = 0; i < length; ++i) {
      ASSERT_EQ(FirHistoryAt(dsp->Fir.delay, i), 0) << i;
    }
    const auto input = test::ToneBytes(centre, 120.0, rate, 2 * static_cast<size_t>(rate));
    std::vector<double> acc;
    test::Run(*dsp, RejectorStep, input, &acc);
    EXPECT_GT(test::AttenuationDb(input, acc, rate, centre, rate), 40.0) << centre;
    EXPECT_EQ(dsp->Rejecteur.DecisionCount, 0);
  }
}

// One decision on a prepared accumulator: a single peak at position 1001, so that the peak
// frequency F equals BinWidth, and a mean peak power of half the peak (two blocks). The mean
// must beat the threshold strictly; a miss changes nothing.
TEST(Detection, DecisionFromThePeak) {
  const std::tuple<int32_t, int32_t, int32_t, bool, double> cases[] = {
      {1025, 100000, 1001, true, 1000}, {1026, 100000, 1001, true, 1050},
      {0, 100000, 1001, true, 100},     {126, 100000, 1001, true, 150},
      {3990, 100000, 1001, true, 3300}, {2000, 1, 0, false, 1000},
      {2000, 2, 0, true, 2000},         {2000, 2003, 1001, false, 1000},
      {2000, 2004, 1001, true, 2000}};
  for (auto [f, peakPower, threshold, found, centre] : cases) {
    auto dsp = DesignedRejector(8000);
    RejecteurState& r = dsp->Rejecteur;
    r.NotchAuto = 1;
    r.NotchThreshold = threshold;
    dsp->Transform.TransformSize = 2048;
    r.BlockCounter = r.BlocksPerDecision;
    r.BinWidth = f;
    r.PowerAccumulator[1001] = peakPower;
    RejectorStep(*dsp);
    SCOPED_TRACE(testing::Message() << f << " " << peakPower << " " << threshold);
    EXPECT_EQ(r.CarrierFound, found ? 1 : 0);
    EXPECT_EQ(r.NotchFrequency, centre);
    EXPECT_EQ(Loaded(*dsp, true, static_cast<int32_t>(centre)), found);
    EXPECT_EQ((std::array{int32_t{r.DecisionMade}, r.PowerAccumulator[1001], r.BlockCounter}),
              (std::array{1, 0, 0}));
  }
}

// A 1230 Hz tone: the peak bin gives F = 1230, 1226 or 1234 Hz (2048, 1024, 512 points), each
// with a remainder above 25, so the notch goes to 1250 Hz on the sample that ends the second
// block, again two blocks later, and the tone is then removed.
TEST(AutomaticMode, FindsAToneAndRetunes) {
  const auto input = test::ToneBytes(1230.0, 100.0, 8000, 16000);
  for (int32_t divisor : {1, 2, 4}) {
    auto dsp = AutomaticRejector(divisor, 1001);
    const RejecteurState& r = dsp->Rejecteur;
    const uint64_t n = 2048 / divisor;
    std::vector<double> acc;
    test::Run(*dsp, RejectorStep, input, &acc);
    ASSERT_GE(r.DecisionCount, 2);
    for (uint64_t i = 0; i < 2; ++i) {
      EXPECT_EQ(r.Decisions[i].sample, (2 * i + 2) * n - 1) << divisor;
      EXPECT_TRUE(r.Decisions[i].found) << divisor;
      EXPECT_EQ(r.Decisions[i].frequency, 1250) << divisor;
    }
    EXPECT_TRUE(Loaded(*dsp, true, 1250)) << divisor;
    EXPECT_GT(test::AttenuationDb(input, acc, 8000, 1230, 8000), 40.0) << divisor;
  }
}

// A constant 128 enters the detection as 7, not 0: after the window its spectrum is not quite
// empty, and the mean peak power is 1. No carrier at the screen's thresholds; at threshold 0
// (the band-pass centring's) the leak next to DC counts, at 100 Hz.
TEST(AutomaticMode, ConstantMidScaleInput) {
  for (int32_t threshold : {20001, 5001, 1001, 101, 0}) {
    auto dsp = AutomaticRejector(1, threshold);
    test::Run(*dsp, RejectorStep, std::vector<uint8_t>(4096, 128));
    const RejecteurState& r = dsp->Rejecteur;
    ASSERT_EQ(r.DecisionMade, 1);
    EXPECT_EQ(r.MeanPeakPower, 1) << threshold;
    EXPECT_EQ(r.CarrierFound, threshold == 0 ? 1 : 0) << threshold;
    EXPECT_EQ(r.NotchFrequency, threshold == 0 ? 100.0 : 1000.0);
  }
}

// The first preparation of a run designs, sets the rate and calibrates: 100 steps give the
// detection divisor (thresholds 32 and 75 ms), a 128-sample probe (or, under 46 ms, a 512-sample
// one) the notch length. Later starts read no clock.
TEST(RejectorCalibration, SizesTransformAndLengthOnce) {
  const std::tuple<std::vector<uint32_t>, int32_t, int32_t> cases[] = {
      {{0, 31, 0, 0, 0, 0}, 1, 1000},   {{0, 32, 0, 0, 0, 0}, 2, 1000},
      {{0, 74, 0, 0, 0, 0}, 2, 1000},   {{0, 75, 0, 0, 0, 0}, 4, 1000},
      {{0, 10, 0, 99}, 1, 80},           // d = 100 * 8000 / 128 = 6250, 250000 / 6250 * 2
      {{0, 10, 0, 45, 0, 199}, 1, 160},  // d = 200 * 8000 / 512 = 3125
      {{0, 40, 0, 46}, 2, 170},          // d = 47 * 8000 / 128 = 2937
      {{0, 900, 0, 1000000}, 4, 2}};     // the formula gives 0: the shortest filter
  for (const auto& [steps, divisor, length] : cases) {
    SCOPED_TRACE(testing::Message() << steps[1] << " " << steps[3]);
    auto dsp = std::make_unique<DspState>();
    RejecteurState& r = dsp->Rejecteur;
    dsp->SampleRate = 11025;
    r.NotchFrequency = 2500;
    test::StepClock clock(steps);
    PrepareNotchTables(*dsp, clock);
    EXPECT_EQ(clock.reads(), steps.size());
    EXPECT_EQ(r.DetectionDivisor, divisor);
    EXPECT_EQ(r.NotchLength, length);
    EXPECT_EQ(dsp->Fir.pairCount, length / 2);
    EXPECT_TRUE(Loaded(*dsp, true, 1000, length / 2));
    // The probes' power is gone before the first real decision.
    EXPECT_EQ(std::count(r.PowerAccumulator.begin(), r.PowerAccumulator.end(), 0), 1026);
    EXPECT_EQ(r.DetectionCounter, 1);
    EXPECT_EQ(r.BlockCounter, 0);

    test::StepClock unread({});
    dsp->SampleRate = 1234;
    dsp->Transform.WindowEnabled = false;
    PrepareNotchTables(*dsp, unread);
    RejectorCalibrate(*dsp, unread);
    EXPECT_EQ(dsp->SampleRate, 8000);
    EXPECT_TRUE(dsp->Transform.WindowEnabled);
  }
}

// Through the block dispatch the detection restarts at every block: a counter left mid-block
// by an earlier run does not shift the decisions.
TEST(RejectorDispatch, BlocksRestartTheDetection) {
  auto dsp = AutomaticRejector(4, 1001);
  dsp->FilterKind = "REJECTEUR_PAR_TFD";
  dsp->BlockLength = 2048;
  dsp->Rejecteur.DetectionCounter = 300;
  const auto input = test::ToneBytes(1230.0, 100.0, 8000, 4 * 2048);
  std::vector<uint8_t> output(input.size());
  for (size_t b = 0; b < 4; ++b) {
    ProcessBlock(*dsp, input.data() + b * 2048, output.data() + b * 2048);
  }
  ASSERT_EQ(dsp->Rejecteur.DecisionCount, 4);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(dsp->Rejecteur.Decisions[i].sample, 1023 + 1024 * i);
  }
}

}  // namespace
}  // namespace velunda
