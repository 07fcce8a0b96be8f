#include "dsp/rejecteur_par_tfd.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"
#include "dsp/tone.hpp"
#include "platform/clock.hpp"

namespace velunda {
namespace {

constexpr double kPi = std::numbers::pi;

// A clock that advances by scripted steps: each read returns the previous reading plus the
// next step. Reading past the script is a test failure.
class ScriptedClock final : public Clock {
 public:
  explicit ScriptedClock(std::vector<uint32_t> steps) : steps_(std::move(steps)) {}
  uint32_t NowMs() override {
    EXPECT_LT(next_, steps_.size()) << "clock read more often than scripted";
    if (next_ < steps_.size()) {
      now_ += steps_[next_++];
    }
    return now_;
  }
  size_t reads() const { return next_; }

 private:
  std::vector<uint32_t> steps_;
  size_t next_ = 0;
  uint32_t now_ = 4000000000u;  // close to the wrap, which the calibration must survive
};

// Tables designed at `rate` with 1000 taps, no calibration.
std::unique_ptr<DspState> DesignedRejector(int32_t rate) {
  auto dsp = std::make_unique<DspState>();
  RejecteurState& r = dsp->Rejecteur;
  r.RejectorSampleRate = rate;
  r.NotchNyquist = rate / 2;
  dsp->SampleRate = rate;
  NotchDesignNarrow(*dsp);
  NotchDesignWide(*dsp);
  r.NotchTablesReady = true;
  r.RejectorCalibrated = true;
  return dsp;
}

const int32_t* Set(const RejecteurState& r, bool wide, int32_t centreHz) {
  const auto& table = wide ? r.WideNotchTable : r.NarrowNotchTable;
  return table.data() + (centreHz / 50 - 2) * kNotchSetLength;
}

// Magnitude of the component at `hz` over the whole sequence.
double Component(const std::vector<double>& v, double hz, int32_t rate) {
  std::complex<double> sum = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    sum += v[i] * std::polar(1.0, -2 * kPi * hz * i / rate);
  }
  return std::abs(sum) / v.size();
}

// Runs the rejector over `input`; returns the kernel's accumulator after each sample.
std::vector<double> RunAccumulator(DspState& dsp, const std::vector<uint8_t>& input) {
  std::vector<double> acc;
  acc.reserve(input.size());
  for (uint8_t s : input) {
    dsp.CurrentSample = s;
    RejectorStep(dsp);
    acc.push_back(dsp.Fir.accumulator);
  }
  return acc;
}

// ---- Tables and loading ------------------------------------------------------------------

struct TableCase {
  int32_t rate;
  bool wide;
  int32_t centre;
  std::vector<int32_t> head;
};

class NotchTables : public ::testing::TestWithParam<TableCase> {};

TEST_P(NotchTables, SetsBeginWithTheDesignedCoefficients) {
  const TableCase& c = GetParam();
  auto dsp = DesignedRejector(c.rate);
  const int32_t* set = Set(dsp->Rejecteur, c.wide, c.centre);
  EXPECT_EQ(std::vector<int32_t>(set, set + c.head.size()), c.head);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NotchTables,
    ::testing::Values(TableCase{8000, true, 1000, {56737, -24075, 15560, -2360, 13680, -3113}},
                      TableCase{8000, false, 1000, {61352, -22176, 13687, -6791, 9370, -4837}},
                      // 100 Hz wide: the lower edge is raised to 25 Hz.
                      TableCase{8000, true, 100, {58047, -26755, 7355}}));

TEST(NotchTables, WideDesignLeavesThe3300HzSetInTheKernel) {
  auto dsp = DesignedRejector(8000);
  const int32_t* set = Set(dsp->Rejecteur, true, 3300);
  EXPECT_TRUE(std::equal(set, set + kNotchSetLength, dsp->Fir.coefficients.begin()));
}

TEST(NotchLoad, FrequencyRoundsThenDividesBy50) {
  struct Case {
    double frequency;
    int32_t set;
  };
  auto dsp = DesignedRejector(8000);
  for (const Case c : {Case{1020.0, 1000}, Case{1049.9, 1050}, Case{100.0, 100}, Case{3300.0, 3300},
                       Case{1049.4, 1000}}) {
    for (uint8_t wide : {0, 1}) {
      dsp->Rejecteur.NotchFrequency = c.frequency;
      dsp->Rejecteur.NotchWide = wide;
      NotchLoadSet(*dsp);
      const int32_t* set = Set(dsp->Rejecteur, wide == 1, c.set);
      EXPECT_TRUE(std::equal(set, set + kNotchSetLength, dsp->Fir.coefficients.begin()))
          << c.frequency << " wide " << int{wide};
    }
  }
}

TEST(NotchLoad, ShortenedLengthUsesTheCentreOfEachSet) {
  auto dsp = DesignedRejector(8000);
  RejecteurState& r = dsp->Rejecteur;
  r.NotchLength = 600;
  dsp->Fir.coefficients.fill(7);
  // Something in the history that NotchStart must clear.
  dsp->Fir.accumulator = 0;
  for (int i = 0; i < 700; ++i) {
    dsp->CurrentSample = static_cast<uint8_t>(i);
    RejectorStep(*dsp);
  }
  NotchStart(*dsp);
  EXPECT_EQ(dsp->Fir.pairCount, 300);
  const int32_t* set = Set(r, true, 1000);
  EXPECT_TRUE(std::equal(set, set + 300, dsp->Fir.coefficients.begin()));
  EXPECT_EQ(dsp->Fir.coefficients[300], 7) << "only H coefficients are copied";
  for (int32_t i = 0; i < 600; ++i) {
    ASSERT_EQ(FirHistoryAt(dsp->Fir.delay, i), 0) << i;
  }
}

TEST(NotchLoad, AutomaticStartLoadsNothingAndClearsTheDecision) {
  auto dsp = DesignedRejector(8000);
  dsp->Fir.coefficients.fill(7);
  dsp->Rejecteur.NotchAuto = 1;
  dsp->Rejecteur.DecisionMade = 1;
  NotchStart(*dsp);
  EXPECT_EQ(dsp->Rejecteur.DecisionMade, 0);
  EXPECT_EQ(dsp->Fir.coefficients[0], 7);
  EXPECT_EQ(dsp->Fir.pairCount, 500);
}

// ---- Filtering -----------------------------------------------------------------------------

struct NotchCase {
  int32_t rate;
  bool wide;
  int32_t centre;
};

class NotchDepth : public ::testing::TestWithParam<NotchCase> {};

// A steady carrier at the centre is attenuated by at least the depth the coefficients give
// (their response computed in floating point), and that depth is a real notch.
TEST_P(NotchDepth, CarrierAtTheCentreIsRemoved) {
  const NotchCase& c = GetParam();
  auto dsp = DesignedRejector(c.rate);
  RejecteurState& r = dsp->Rejecteur;
  r.NotchFrequency = c.centre;
  r.NotchWide = c.wide ? 1 : 0;
  NotchStart(*dsp);

  double response = 0;
  for (int32_t k = 0; k < dsp->Fir.pairCount; ++k) {
    response += dsp->Fir.coefficients[k] * 2 * std::cos(2 * kPi * c.centre * (k + 0.5) / c.rate);
  }
  const double designDepth = -20 * std::log10(std::abs(response) / 100000);
  EXPECT_GT(designDepth, 40.0);

  const auto input = test::ToneBytes(c.centre, 120.0, c.rate, 3 * static_cast<size_t>(c.rate));
  const auto acc = RunAccumulator(*dsp, input);
  // Steady state only: the last two seconds.
  std::vector<double> in;
  std::vector<double> out;
  for (size_t i = static_cast<size_t>(c.rate); i < input.size(); ++i) {
    in.push_back(2.0 * input[i] - 255);
    out.push_back(acc[i]);
  }
  const double inLevel = Component(in, c.centre, c.rate);
  const double outLevel = Component(out, c.centre, c.rate);
  const double measured = outLevel > 0 ? 20 * std::log10(inLevel / outLevel) : 1000.0;
  // The integer path truncates the accumulator: below a tenth of one unit of the internal
  // scale the residual at the centre is at the arithmetic's floor, not the design's.
  EXPECT_TRUE(measured >= designDepth - 0.5 || outLevel < 0.1)
      << "design " << designDepth << " dB, measured " << measured << " dB";
}

INSTANTIATE_TEST_SUITE_P(Centres, NotchDepth,
                         ::testing::Values(NotchCase{8000, true, 1000},
                                           NotchCase{8000, false, 1000},
                                           NotchCase{8000, false, 300}, NotchCase{8000, true, 3000},
                                           NotchCase{11025, true, 1500},
                                           NotchCase{11025, false, 2450}));

// ---- Detection -----------------------------------------------------------------------------

TEST(Detection, ScaleAndBinWidth) {
  EXPECT_EQ(ScaleDetectionSample(0), -2000);
  EXPECT_EQ(ScaleDetectionSample(128), 7);
  EXPECT_EQ(ScaleDetectionSample(200), 1137);
  EXPECT_EQ(ScaleDetectionSample(255), 2000);
  struct Case {
    int32_t rate;
    int32_t points;
    int32_t width;
  };
  for (const Case c : {Case{8000, 2048, 3905}, Case{11025, 2048, 5380}, Case{8000, 1024, 7810},
                       Case{8000, 512, 15625}}) {
    DspState dsp;
    dsp.Rejecteur.BlockDuration = (1000000000 / c.rate) * c.points;
    ComputeBinWidth(dsp);
    EXPECT_EQ(dsp.Rejecteur.BinWidth, c.width) << c.rate << " " << c.points;
  }
}

// Drives one decision on a prepared accumulator: a single peak at position 1001, so that
// the peak frequency F equals BinWidth.
std::unique_ptr<DspState> DecideOnPeak(int32_t f, int32_t peakPower, int32_t threshold) {
  auto dsp = DesignedRejector(8000);
  RejecteurState& r = dsp->Rejecteur;
  r.NotchAuto = 1;
  r.NotchThreshold = threshold;
  dsp->Transform.TransformSize = 2048;
  r.DetectionCounter = 1;
  r.BlockCounter = r.BlocksPerDecision;
  r.BinWidth = f;
  r.PowerAccumulator[1001] = peakPower;
  RejectorStep(*dsp);
  EXPECT_EQ(r.DecisionMade, 1);
  return dsp;
}

TEST(Detection, PeakFrequencyToNotchCentre) {
  struct Case {
    int32_t f;
    int32_t centre;
  };
  for (const Case c :
       {Case{999, 1000}, Case{1025, 1000}, Case{1026, 1050}, Case{0, 100}, Case{75, 100},
        Case{125, 100}, Case{126, 150}, Case{3325, 3300}, Case{3326, 3300}, Case{3990, 3300}}) {
    auto dsp = DecideOnPeak(c.f, 100000, 1001);
    const RejecteurState& r = dsp->Rejecteur;
    EXPECT_EQ(r.CarrierFound, 1);
    EXPECT_EQ(r.NotchFrequency, c.centre) << "F = " << c.f;
    EXPECT_EQ(r.NotchIndex, c.centre / 50);
    const int32_t* set = Set(r, true, c.centre);
    EXPECT_TRUE(std::equal(set, set + kNotchSetLength, dsp->Fir.coefficients.begin()));
    EXPECT_EQ(r.PowerAccumulator[1001], 0) << "cleared after the decision";
    EXPECT_EQ(r.BlockCounter, 0);
  }
}

// The mean peak power must beat the threshold strictly; nothing changes on a miss.
TEST(Detection, ThresholdIsStrict) {
  for (int32_t threshold : {0, 101, 1001, 5001, 20001}) {
    auto miss = DecideOnPeak(2000, 2 * threshold + 1, threshold);
    EXPECT_EQ(miss->Rejecteur.CarrierFound, 0) << threshold;
    EXPECT_EQ(miss->Rejecteur.MeanPeakPower, threshold);
    EXPECT_EQ(miss->Rejecteur.NotchFrequency, 1000.0);
    auto hit = DecideOnPeak(2000, 2 * threshold + 2, threshold);
    EXPECT_EQ(hit->Rejecteur.CarrierFound, 1) << threshold;
    EXPECT_EQ(hit->Rejecteur.NotchFrequency, 2000.0);
  }
}

TEST(Detection, ManualModeLeavesTheDetectionAlone) {
  auto dsp = DesignedRejector(8000);
  RejecteurState& r = dsp->Rejecteur;
  dsp->Transform.TransformSize = 512;
  NotchStart(*dsp);
  r.DetectionCounter = 5;
  r.BlockCounter = 1;
  r.PowerAccumulator[10] = 1234;
  for (uint8_t s : test::ToneBytes(1000, 100, 8000, 3000)) {
    dsp->CurrentSample = s;
    RejectorStep(*dsp);
  }
  EXPECT_EQ(r.DetectionCounter, 5);
  EXPECT_EQ(r.BlockCounter, 1);
  EXPECT_EQ(r.PowerAccumulator[10], 1234);
  EXPECT_EQ(r.DecisionMade, 0);
}

// Automatic mode from a launch: prepared as the action does, then audio.
std::unique_ptr<DspState> AutomaticRejector(int32_t divisor, int32_t threshold) {
  auto dsp = DesignedRejector(8000);
  RejecteurState& r = dsp->Rejecteur;
  r.DetectionDivisor = divisor;
  r.NotchThreshold = threshold;
  r.NotchAuto = 1;
  PrepareRejectorRun(*dsp);
  return dsp;
}

class AutomaticMode : public ::testing::TestWithParam<int32_t> {};

// A tone at 1230 Hz above the threshold: the peak bin gives F = 1230, 1226 or 1234 Hz
// (2048, 1024, 512 points), each with a remainder above 25, so the notch goes to 1250 Hz,
// on the sample that ends the second block, and the tone is then removed.
TEST_P(AutomaticMode, FindsAToneAndRetunes) {
  const int32_t divisor = GetParam();
  auto dsp = AutomaticRejector(divisor, 1001);
  const RejecteurState& r = dsp->Rejecteur;
  const int32_t n = 2048 / divisor;
  const auto input = test::ToneBytes(1230.0, 100.0, 8000, 16000);
  std::vector<double> acc;
  for (size_t i = 0; i < input.size(); ++i) {
    dsp->CurrentSample = input[i];
    RejectorStep(*dsp);
    acc.push_back(dsp->Fir.accumulator);
    if (i + 1 == static_cast<size_t>(2 * n - 1)) {
      ASSERT_EQ(r.DecisionMade, 0) << "no decision before the second block is complete";
    }
    if (i + 1 == static_cast<size_t>(2 * n)) {
      ASSERT_EQ(r.DecisionMade, 1);
      EXPECT_EQ(r.CarrierFound, 1);
      EXPECT_EQ(r.NotchFrequency, 1250.0);
      const int32_t* set = Set(r, true, 1250);
      EXPECT_TRUE(std::equal(set, set + kNotchSetLength, dsp->Fir.coefficients.begin()));
    }
  }
  ASSERT_GE(r.DecisionCount, 2);
  EXPECT_EQ(r.Decisions[0].sample, static_cast<uint64_t>(2 * n - 1));
  EXPECT_EQ(r.Decisions[1].sample, static_cast<uint64_t>(4 * n - 1));
  EXPECT_EQ(r.Decisions[0].frequency, 1250);
  EXPECT_TRUE(r.Decisions[1].found);

  std::vector<double> in;
  std::vector<double> out;
  for (size_t i = 8000; i < input.size(); ++i) {
    in.push_back(2.0 * input[i] - 255);
    out.push_back(acc[i]);
  }
  const double outLevel = Component(out, 1230, 8000);
  EXPECT_TRUE(outLevel == 0 || 20 * std::log10(Component(in, 1230, 8000) / outLevel) > 40);
}

// A weak tone under the threshold: "no carrier", and the notch stays where it was.
TEST_P(AutomaticMode, WeakToneIsNotACarrier) {
  auto dsp = AutomaticRejector(GetParam(), 20001);
  const auto before = dsp->Fir.coefficients;
  for (uint8_t s : test::ToneBytes(1230.0, 10.0, 8000, 4096)) {
    dsp->CurrentSample = s;
    RejectorStep(*dsp);
  }
  EXPECT_GE(dsp->Rejecteur.DecisionCount, 1);
  EXPECT_EQ(dsp->Rejecteur.CarrierFound, 0);
  EXPECT_EQ(dsp->Rejecteur.NotchFrequency, 1000.0);
  EXPECT_EQ(dsp->Fir.coefficients, before);
}

INSTANTIATE_TEST_SUITE_P(Divisors, AutomaticMode, ::testing::Values(1, 2, 4));

// A constant 128 enters the detection as 7, not 0: after the window its spectrum is not
// quite empty, and the mean peak power is 1. No carrier at the screen's thresholds; at
// threshold 0 (the band-pass centring's) the leak next to DC counts, at 100 Hz.
TEST(AutomaticMode, ConstantMidScaleInput) {
  for (int32_t threshold : {20001, 5001, 1001, 101, 0}) {
    auto dsp = AutomaticRejector(1, threshold);
    for (int i = 0; i < 4096; ++i) {
      dsp->CurrentSample = 128;
      RejectorStep(*dsp);
    }
    const RejecteurState& r = dsp->Rejecteur;
    ASSERT_EQ(r.DecisionMade, 1);
    EXPECT_EQ(r.MeanPeakPower, 1) << threshold;
    EXPECT_EQ(r.CarrierFound, threshold == 0 ? 1 : 0) << threshold;
    EXPECT_EQ(r.NotchFrequency, threshold == 0 ? 100.0 : 1000.0);
  }
}

// ---- Calibration ---------------------------------------------------------------------------

struct CalibrationCase {
  std::vector<uint32_t> steps;  // clock steps: start, 100 steps, probe start, probe end, ...
  int32_t divisor;
  int32_t length;
};

class Calibration : public ::testing::TestWithParam<CalibrationCase> {};

TEST_P(Calibration, SizesTransformAndLength) {
  const CalibrationCase& c = GetParam();
  auto dsp = DesignedRejector(8000);
  RejecteurState& r = dsp->Rejecteur;
  r.RejectorCalibrated = false;
  r.NotchFrequency = 2500;
  ScriptedClock clock(c.steps);
  RejectorCalibrate(*dsp, clock);
  EXPECT_EQ(clock.reads(), c.steps.size());
  EXPECT_EQ(r.DetectionDivisor, c.divisor);
  EXPECT_EQ(r.NotchLength, c.length);
  EXPECT_EQ(dsp->Fir.pairCount, c.length / 2);
  EXPECT_EQ(r.NotchFrequency, 1000.0);
  EXPECT_TRUE(dsp->Transform.WindowEnabled);
  // The probes' power is gone before the first real decision.
  for (int32_t value : r.PowerAccumulator) {
    ASSERT_EQ(value, 0);
  }
  EXPECT_EQ(r.DetectionCounter, 1);
  EXPECT_EQ(r.BlockCounter, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Timings, Calibration,
    ::testing::Values(
        // Divisor thresholds at 32 and 75 ms; fast probes keep 1000 taps.
        CalibrationCase{{0, 31, 0, 0, 0, 0}, 1, 1000},
        CalibrationCase{{0, 32, 0, 0, 0, 0}, 2, 1000},
        CalibrationCase{{0, 74, 0, 0, 0, 0}, 2, 1000},
        CalibrationCase{{0, 75, 0, 0, 0, 0}, 4, 1000},
        // Short probe of 99 ms: d = 100 * 8000 / 128 = 6250, 1000 * 250 / 6250 * 2 = 80.
        CalibrationCase{{0, 10, 0, 99}, 1, 80},
        // 45 ms is under the short probe's threshold: long probe of 199 ms,
        // d = 200 * 8000 / 512 = 3125, 1000 * 250 / 3125 * 2 = 160.
        CalibrationCase{{0, 10, 0, 45, 0, 199}, 1, 160},
        // Exactly 46 ms: d = 47 * 8000 / 128 = 2937, 250000 / 2937 = 85, so 170.
        CalibrationCase{{0, 40, 0, 46}, 2, 170},
        // A processor so slow that the formula gives 0 keeps 2 taps.
        CalibrationCase{{0, 900, 0, 1000000}, 4, 2}));

TEST(Calibration, RunsOncePerRun) {
  auto dsp = DesignedRejector(8000);
  dsp->Rejecteur.RejectorCalibrated = false;
  ScriptedClock first({0, 10, 0, 99});
  RejectorCalibrate(*dsp, first);
  dsp->SampleRate = 1234;
  dsp->Transform.WindowEnabled = false;
  ScriptedClock second({});
  RejectorCalibrate(*dsp, second);
  EXPECT_EQ(second.reads(), 0u);
  EXPECT_EQ(dsp->Rejecteur.NotchLength, 80);
  EXPECT_EQ(dsp->SampleRate, 8000);
  EXPECT_TRUE(dsp->Transform.WindowEnabled);
}

TEST(Calibration, NotchPreparationHappensOnce) {
  auto dsp = std::make_unique<DspState>();
  dsp->Rejecteur.RejectorSampleRate = 11025;
  dsp->Rejecteur.NotchNyquist = 5512;
  dsp->SampleRate = 8000;
  ScriptedClock clock({0, 0, 0, 0, 0, 0});
  PrepareNotchTables(*dsp, clock);
  EXPECT_TRUE(dsp->Rejecteur.NotchTablesReady);
  EXPECT_EQ(dsp->SampleRate, 11025);
  const auto table = dsp->Rejecteur.WideNotchTable;
  dsp->Rejecteur.RejectorSampleRate = 8000;
  PrepareNotchTables(*dsp, clock);
  EXPECT_EQ(dsp->Rejecteur.WideNotchTable, table) << "designed at the first start only";
}

}  // namespace
}  // namespace velunda

namespace velunda {
namespace {

// Through the block dispatch: the detection restarts at every block, so a counter left in
// the middle of a block by an earlier run does not shift the decisions, and the output is
// that of the step called sample by sample.
TEST(RejectorDispatch, BlocksRestartTheDetection) {
  auto blocks = AutomaticRejector(4, 1001);
  auto samples = AutomaticRejector(4, 1001);
  blocks->FilterKind = "REJECTEUR_PAR_TFD";
  blocks->BlockLength = 2048;
  blocks->Rejecteur.DetectionCounter = 300;
  const auto input = test::ToneBytes(1230.0, 100.0, 8000, 4 * 2048);
  std::vector<uint8_t> viaBlocks(input.size());
  for (size_t b = 0; b < 4; ++b) {
    ProcessBlock(*blocks, input.data() + b * 2048, viaBlocks.data() + b * 2048);
  }
  std::vector<uint8_t> viaSteps;
  for (uint8_t s : input) {
    samples->CurrentSample = s;
    RejectorStep(*samples);
    viaSteps.push_back(samples->CurrentSample);
  }
  EXPECT_EQ(viaBlocks, viaSteps);
  const RejecteurState& r = blocks->Rejecteur;
  ASSERT_EQ(r.DecisionCount, 4);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.Decisions[i].sample, 1023 + 1024 * i);
  }
}

}  // namespace
}  // namespace velunda
