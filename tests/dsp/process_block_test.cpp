#include "dsp/process_block.hpp"

#include <string>

#include "dsp/filter_kind.hpp"
#include "test_support.hpp"

namespace velunda {
namespace {

// 0..255 to -20000..20000 and back; the way back rounds a remainder of exactly 100000 down
// and keeps the low 8 bits.
TEST(BfoConversions, BothWaysRoundTripAndWrap) {
  for (auto [s, v] : {std::pair<uint8_t, int32_t>{0, -20000}, {127, -78}, {255, 20000}}) {
    EXPECT_EQ(SampleToBfoValue(s), v) << int{s};
  }
  const std::pair<int32_t, uint8_t> toSample[] = {
      {0, 127},    {8000, 178}, {156, 128}, {157, 129},      // 0 and 8000: remainder 100000
      {-19922, 0}, {-19921, 1}, {20200, 0}, {-20200, 255}};  // -20200: a negative remainder
  for (auto [v, s] : toSample) {
    EXPECT_EQ(BfoValueToSample(v), s) << v;
  }
  for (int s = 0; s < 256; ++s) {
    ASSERT_EQ(BfoValueToSample(SampleToBfoValue(static_cast<uint8_t>(s))), s);
  }
}

std::unique_ptr<DspState> Prepared(std::string_view kind) {
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kind);
  (kind == kPasseBande ? BandPassSetup : LowPassDesign)(*dsp);
  if (kind == kBfoNumerique) {
    dsp->Transform.TransformSize = 1024;
    TransformInit(dsp->Transform);
    dsp->Bfo.BfoShift = 7;
    dsp->Bfo.BfoInverted = true;
  }
  return dsp;
}

// Runs `input` through ProcessBlock in blocks of the given lengths, in turn, into 0x55s.
std::vector<uint8_t> InBlocks(DspState& dsp, const std::vector<uint8_t>& input,
                              const std::vector<int32_t>& lengths) {
  std::vector<uint8_t> out(input.size(), 0x55);
  for (size_t at = 0, b = 0; at < input.size(); at += dsp.BlockLength, ++b) {
    dsp.BlockLength = std::min<int32_t>(lengths[b % lengths.size()], input.size() - at);
    ProcessBlock(dsp, input.data() + at, out.data() + at);
  }
  return out;
}

class SplitBlock : public testing::TestWithParam<std::string_view> {};

// Block boundaries change nothing: the filters keep their state from block to block. The BFO
// writes whole sub-blocks of TransformSize only: the last 500 samples stay as they were.
TEST_P(SplitBlock, SplitRunsEqualWholeRun) {
  const auto input = test::RandomBytes(8692, 21);
  auto whole = Prepared(GetParam());
  auto split = Prepared(GetParam());
  const auto expected = InBlocks(*whole, input, {8692});
  const bool bfo = GetParam() == kBfoNumerique;
  const auto lengths =
      bfo ? std::vector<int32_t>{2048, 1024, 5120} : std::vector<int32_t>{2666, 1, 333, 2048};
  EXPECT_EQ(InBlocks(*split, input, lengths), expected);
  EXPECT_EQ(std::count(expected.end() - 500, expected.end(), 0x55) == 500, bfo);
  EXPECT_LT(std::count(expected.begin(), expected.end() - 500, 0x55), 8192 / 4);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SplitBlock, testing::Values(kPasseBas, kPasseBande, kBfoNumerique),
                         [](const auto& info) { return std::string(info.param); });

// Bypassed filters pass every byte; other kinds leave the output as it was (0x55s).
TEST(ProcessBlock, BypassIsByteExactAndOtherKindsWriteNothing) {
  const auto input = test::RandomBytes(5000, 4);
  for (const char* kind : {"PASSEBAS", "PASSEBANDE", "", "passebas", "PASSEBAS ", "FILTRE"}) {
    auto dsp = Prepared(kind);
    dsp->PasseBas.LowPassBypass = true;
    dsp->PasseBande.BandPassBypass = true;
    const bool known = kind == kPasseBas || kind == kPasseBande;
    EXPECT_EQ(InBlocks(*dsp, input, {2666}), known ? input : std::vector<uint8_t>(5000, 0x55))
        << kind;
    // The history took the last byte, and aged no further.
    EXPECT_EQ(FirHistoryAt(dsp->Fir.delay, 0), known ? 2 * input.back() - 255 : 0) << kind;
    EXPECT_EQ(FirHistoryAt(dsp->Fir.delay, 1), 0) << kind;
  }
}

}  // namespace
}  // namespace velunda
