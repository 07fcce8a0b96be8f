#include "dsp/fir_kernel.hpp"

#include <functional>
#include <limits>
#include <string>

#include "dsp/passebande.hpp"
#include "dsp/passebas.hpp"
#include "dsp/rejecteur_par_tfd.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// A way of filling the kernel for a tap count, the way one of the filters does it.
struct Design {
  std::string name;
  std::function<void(DspState&, int32_t taps)> load;
  bool wraps = false;  // coefficients large enough that the 32-bit sums must wrap
};

Design LowPass(int32_t cutoff, int32_t rate) {
  return {"LowPass" + std::to_string(cutoff) + "HzAt" + std::to_string(rate),
          [=](DspState& dsp, int32_t taps) {
            dsp.SampleRate = rate;
            dsp.PasseBas.LowPassCutoff = cutoff;
            dsp.PasseBas.LowPassTapCount = taps;
            LowPassDesign(dsp);
          }};
}

Design BandPass(int32_t centre, int32_t width, int32_t rate) {
  return {"BandPass" + std::to_string(centre) + "Hz" + std::to_string(width) + "WideAt" +
              std::to_string(rate),
          [=](DspState& dsp, int32_t taps) {
            dsp.SampleRate = rate;
            dsp.PasseBande.BandPassCentre = static_cast<uint16_t>(centre);
            dsp.PasseBande.BandPassWidth = width;
            dsp.PasseBande.BandPassTapCount = taps;
            BandPassSetup(dsp);
          }};
}

Design Notch(bool wide, int32_t centre, int32_t rate) {
  return {std::string(wide ? "Wide" : "Narrow") + "Notch" + std::to_string(centre) + "HzAt" +
              std::to_string(rate),
          [=](DspState& dsp, int32_t taps) {
            RejecteurState& r = dsp.Rejecteur;
            dsp.SampleRate = rate;
            r.RejectorSampleRate = rate;
            r.NotchNyquist = rate / 2;
            r.NotchLength = taps;
            (wide ? NotchDesignWide : NotchDesignNarrow)(dsp);
            r.NotchWide = wide ? 1 : 0;
            r.NotchAuto = 0;
            r.NotchFrequency = centre;
            NotchStart(dsp);
          }};
}

// Designed pairCount, then coefficients of our own: `pick(k)` for every pair.
Design Forced(std::string name, std::function<int32_t(int32_t)> pick) {
  return {std::move(name),
          [=](DspState& dsp, int32_t taps) {
            SymmetricFirDesign(dsp.Fir, taps, 8000, 0.0, 1000.0);
            for (int32_t k = 0; k < kFirMaxPairs; ++k) {
              dsp.Fir.coefficients[static_cast<size_t>(k)] = pick(k);
            }
          },
          true};
}

int32_t FullRange(int32_t k) {
  std::mt19937 gen(static_cast<uint32_t>(k) * 2654435761u);
  return static_cast<int32_t>(gen());
}

int32_t Boundary(int32_t k) {
  constexpr int32_t kValues[] = {kMax, kMin, 32767, 32768, -32768, -32769, 65535, 65536, -1};
  return kValues[k % 9];
}

// Bytes that drive the kernel as far as it goes: for each sign, the 2H samples whose signs
// match the impulse response (the largest output it can give), then a full-scale square wave
// of 40 samples and random bytes.
std::vector<uint8_t> Input(const SymmetricFir& fir) {
  const int32_t pairs = fir.pairCount;
  std::vector<uint8_t> v;
  for (const bool positive : {true, false}) {
    // Oldest first: tap i = 2H-1 .. 0 weighs coefficient H-1-i (i < H) or i-H.
    for (int32_t i = 2 * pairs - 1; i >= 0; --i) {
      const int32_t c =
          fir.coefficients[static_cast<size_t>(i < pairs ? pairs - 1 - i : i - pairs)];
      v.push_back((c >= 0) == positive ? 255 : 0);
    }
  }
  for (size_t i = 0; i < 400; ++i) {
    v.push_back((i / 20) % 2 == 0 ? 255 : 0);
  }
  const auto noise = test::RandomBytes(1100, 13);
  v.insert(v.end(), noise.begin(), noise.end());
  return v;
}

// Block lengths for the block step, mixed with single steps (0), so that groups of four
// straddle every kind of boundary.
constexpr int32_t kBlocks[] = {1, 0, 7, 4, 0, 0, 3, 333, 2, 0, 5, 1024};

void PrintTo(const Design& design, std::ostream* os) { *os << design.name; }

class KernelBitExact : public testing::TestWithParam<Design> {};

// Every kernel variant this machine runs, one sample at a time and in blocks, against the
// kernel as worded: the same bytes, the same accumulator, over small, odd and full tap counts.
TEST_P(KernelBitExact, MatchesTheWordedKernel) {
  const Design& design = GetParam();
  int64_t zeros = 0;
  int64_t fulls = 0;
  int64_t wrapped = 0;
  for (const int32_t taps : {2, 3, 4, 17, 34, 46, 99, 257, 999, 1000}) {
    auto dsp = std::make_unique<DspState>();
    design.load(*dsp, taps);
    const SymmetricFir designed = dsp->Fir;
    ASSERT_EQ(designed.pairCount, taps / 2);
    const auto input = Input(designed);

    test::NaiveFir naive;
    naive.pairs = designed.pairCount;
    naive.coefficients = designed.coefficients.values();
    std::vector<uint8_t> expected;
    std::vector<int32_t> accumulators;
    for (uint8_t s : input) {
      expected.push_back(naive.Step(s, false));
      accumulators.push_back(naive.accumulator);
      zeros += expected.back() == 0 ? 1 : 0;
      fulls += expected.back() == 255 ? 1 : 0;
    }
    wrapped += naive.wrapped;

    for (const FirKernelVariant& variant : SupportedFirKernels()) {
      SCOPED_TRACE(testing::Message() << taps << " taps, " << variant.name);
      auto single = std::make_unique<SymmetricFir>(designed);
      for (size_t i = 0; i < input.size(); ++i) {
        const int32_t y = SymmetricFirFilter(*single, input[i], variant);
        ASSERT_EQ(FirOutputByte(y), expected[i]) << "sample " << i;
        ASSERT_EQ(y, accumulators[i]) << "sample " << i;
      }

      auto blocks = std::make_unique<SymmetricFir>(designed);
      std::vector<uint8_t> out(input.size(), 0x55);
      for (size_t at = 0, b = 0; at < input.size(); ++b) {
        const auto length = std::min<size_t>(static_cast<size_t>(kBlocks[b % std::size(kBlocks)]),
                                             input.size() - at);
        if (length == 0) {
          out[at] = FirOutputByte(SymmetricFirFilter(*blocks, input[at], variant));
          ++at;
        } else {
          FixedFirBlock(*blocks, input.data() + at, out.data() + at, static_cast<int32_t>(length),
                        variant);
          at += length;
        }
      }
      ASSERT_EQ(out, expected);
      EXPECT_EQ(blocks->accumulator, accumulators.back());
      for (int32_t i = 0; i < 2 * designed.pairCount; ++i) {
        ASSERT_EQ(FirHistoryAt(blocks->delay, i), FirHistoryAt(single->delay, i)) << i;
      }
    }
  }
  // The input must reach both clipping edges, and the large coefficients must wrap.
  EXPECT_GT(zeros, 0);
  EXPECT_GT(fulls, 0);
  EXPECT_EQ(wrapped > 0, design.wraps) << wrapped;
}

INSTANTIATE_TEST_SUITE_P(
    Designs, KernelBitExact,
    testing::Values(LowPass(300, 8000), LowPass(3000, 11025), BandPass(100, 120, 8000),
                    BandPass(3300, 2000, 8000), Notch(true, 100, 8000), Notch(false, 2450, 11025),
                    Forced("FullRangeCoefficients", FullRange),
                    Forced("HalfEdgeCoefficients", Boundary),
                    Forced("EqualLargeCoefficients", [](int32_t) { return 1 << 22; })),
    [](const testing::TestParamInfo<Design>& info) { return info.param.name; });

// The CW/RTTY reducer's own 32-bit history: its pair sum on values of any size, against the
// sum as worded, for its two lengths and the longest.
TEST(CwHistoryPairSum, WrapsLikeTheWordedSum) {
  std::mt19937 gen(5);
  for (const uint16_t pairs : {17, 23, 500}) {
    FirCoefficients c;
    for (int32_t k = 0; k < kFirMaxPairs; ++k) {
      c[static_cast<size_t>(k)] = static_cast<int32_t>(gen());
    }
    FirHistory h;
    std::vector<int32_t> delay(2 * pairs + 1);
    for (int step = 0; step < 1200; ++step) {
      const auto x = static_cast<int32_t>(gen());
      FirHistoryPush(h, x);
      std::copy_backward(delay.begin(), delay.end() - 1, delay.end());
      delay[0] = x;
      uint32_t expected = 0;
      for (int32_t k = 0; k < pairs; ++k) {
        expected += (static_cast<uint32_t>(delay[pairs - 1 - k]) +
                     static_cast<uint32_t>(delay[pairs + k])) *
                    static_cast<uint32_t>(c[static_cast<size_t>(k)]);
      }
      ASSERT_EQ(FirPairSum(h, c, pairs), static_cast<int32_t>(expected)) << pairs << " " << step;
    }
  }
}

}  // namespace
}  // namespace velunda
