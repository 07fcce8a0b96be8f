#include "audio_io/resample.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "common/signals.hpp"

namespace velunda {
namespace {

using common::ToneValues;

// Feeds `input` in pieces of the given sizes, in turn, then finishes.
std::vector<double> Convert(int32_t from, int32_t to, const std::vector<double>& input,
                            const std::vector<size_t>& pieces) {
  std::string error;
  auto r = Resampler::Create(from, to, error);
  EXPECT_TRUE(r) << error;
  std::vector<double> out;
  size_t at = 0;
  for (size_t k = 0; at < input.size(); ++k) {
    const size_t n = std::min(pieces[k % pieces.size()], input.size() - at);
    EXPECT_TRUE(r->Process(input.data() + at, n, out, error)) << error;
    at += n;
  }
  EXPECT_TRUE(r->Finish(out, error)) << error;
  return out;
}

struct RateCase {
  const char* name;
  int32_t from;
  int32_t to;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class Resampling : public ::testing::TestWithParam<RateCase> {};

// The output has the input's duration at the new rate, to the sample, however the input is cut.
TEST_P(Resampling, LengthIsExactWhateverThePieces) {
  const auto& c = GetParam();
  for (size_t length : {size_t{0}, size_t{1}, size_t{999}, size_t{20011}}) {
    SCOPED_TRACE(length);
    const auto input = ToneValues(440.0, 0.5, c.from, length);
    const auto whole = Convert(c.from, c.to, input, {length + 1});
    const auto pieces = Convert(c.from, c.to, input, {1, 7, 333, 4096});
    EXPECT_EQ(static_cast<int64_t>(whole.size()), ConvertedLength(length, c.from, c.to));
    ASSERT_EQ(pieces.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
      ASSERT_NEAR(pieces[i], whole[i], 1e-9) << i;
    }
  }
}

// A tone well below both Nyquist frequencies comes out as the same tone sampled at the new rate:
// same frequency, amplitude and time (the converter's delay is compensated).
TEST_P(Resampling, ToneKeepsFrequencyAmplitudeAndTime) {
  const auto& c = GetParam();
  const size_t n = static_cast<size_t>(c.from) / 2;  // half a second
  const auto out = Convert(c.from, c.to, ToneValues(1000.0, 0.5, c.from, n), {4000});
  const auto ideal = ToneValues(1000.0, 0.5, c.to, out.size());
  const size_t edge = out.size() / 10;  // the ends ring: the tone starts and stops abruptly
  double worst = 0.0;
  for (size_t i = edge; i + edge < out.size(); ++i) {
    worst = std::max(worst, std::fabs(out[i] - ideal[i]));
  }
  EXPECT_LT(worst, 2e-3);
}

INSTANTIATE_TEST_SUITE_P(Rates, Resampling,
                         ::testing::Values(RateCase{"Down44100To8000", 44100, 8000},
                                           RateCase{"Down48000To6250", 48000, 6250},
                                           RateCase{"Down11025To8000", 11025, 8000},
                                           RateCase{"Up8000To44100", 8000, 44100},
                                           RateCase{"Up6250To48000", 6250, 48000},
                                           RateCase{"LargestRatioDown", 2048000, 8000},
                                           RateCase{"Unchanged", 8000, 8000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Resampler, RatioLimitsAndLengths) {
  const struct {
    int32_t from, to;
    bool supported;
  } ratios[] = {
      {8000, 2048000, true}, {8000, 2048001, false}, {2048000, 8000, true}, {2048001, 8000, false},
      {1, 256, true},        {1, 257, false},        {0, 8000, false},      {8000, 0, false},
  };
  for (const auto& r : ratios) {
    EXPECT_EQ(RatioSupported(r.from, r.to), r.supported) << r.from << " -> " << r.to;
    std::string error;
    EXPECT_EQ(Resampler::Create(r.from, r.to, error) != nullptr, r.supported);
    EXPECT_EQ(error.find("rapport de fréquences") != std::string::npos, !r.supported) << error;
  }
  const struct {
    int64_t count;
    int32_t from, to;
    int64_t expected;
  } lengths[] = {
      {441, 44100, 8000, 80},
      {10, 44100, 8000, 2},
      {1, 2, 1, 1},
      {3, 2, 1, 2},
      {132300, 8000, 44100, 729304},
      {0, 8000, 44100, 0},
      {int64_t{3600} * 48000 * 24, 48000, 8000, int64_t{3600} * 8000 * 24},
  };
  for (const auto& l : lengths) {
    EXPECT_EQ(ConvertedLength(l.count, l.from, l.to), l.expected) << l.count;
  }
}

}  // namespace
}  // namespace velunda
