#include "dsp/process_block.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "naive_fir.hpp"

namespace velunda {
namespace {

TEST(BfoConversions, SampleToValue) {
  const std::pair<uint8_t, int32_t> cases[] = {{0, -20000},  {127, -78},  {128, 78},
                                               {255, 20000}, {1, -19843}, {64, -9960}};
  for (auto [s, v] : cases) {
    EXPECT_EQ(SampleToBfoValue(s), v) << int{s};
  }
}

TEST(BfoConversions, ValueToSampleRoundsHalfDownAndWraps) {
  const std::pair<int32_t, uint8_t> cases[] = {
      {-20000, 0},
      {-78, 127},
      {0, 127},
      {78, 128},
      {20000, 255},
      {20200, 0},     // 256 keeps its low 8 bits
      {-20200, 255},  // n = -255000: q = -1 with a negative remainder
      // Around half-way points: a remainder of exactly 100000 rounds down.
      {1, 128},
      {156, 128},
      {157, 129},
      {-19922, 0},
      {-19921, 1}};
  for (auto [v, s] : cases) {
    EXPECT_EQ(BfoValueToSample(v), s) << v;
  }
  for (int s = 0; s < 256; ++s) {
    ASSERT_EQ(BfoValueToSample(SampleToBfoValue(static_cast<uint8_t>(s))), s);
  }
}

std::unique_ptr<DspState> Prepared(std::string_view kind) {
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kind);
  dsp->SampleRate = 8000;
  dsp->PasseBas.LowPassCutoff = 1200;
  LowPassDesign(*dsp);
  if (kind == kPasseBande) {
    dsp->PasseBande.BandPassCentre = 1500;
    dsp->PasseBande.BandPassWidth = 500;
    BandPassSetup(*dsp);
  }
  if (kind == kBfoNumerique) {
    dsp->SampleRate = 6250;
    dsp->Transform.TransformSize = 1024;
    dsp->Transform.WindowEnabled = false;
    TransformInit(dsp->Transform);
    dsp->Bfo.BfoShift = 7;
    dsp->Bfo.BfoInverted = true;
  }
  return dsp;
}

// Runs `input` through ProcessBlock in blocks of the given lengths, in turn.
std::vector<uint8_t> InBlocks(DspState& dsp, const std::vector<uint8_t>& input,
                              const std::vector<int32_t>& lengths) {
  std::vector<uint8_t> out(input.size(), 0x55);
  size_t at = 0;
  for (size_t b = 0; at < input.size(); ++b) {
    dsp.BlockLength =
        std::min<int32_t>(lengths[b % lengths.size()], static_cast<int32_t>(input.size() - at));
    ProcessBlock(dsp, input.data() + at, out.data() + at);
    at += static_cast<size_t>(dsp.BlockLength);
  }
  return out;
}

class SplitBlockTest : public testing::TestWithParam<std::string_view> {};

// Block boundaries change nothing: the filters keep their state from block to block.
TEST_P(SplitBlockTest, SplitRunsEqualWholeRun) {
  const auto input = test::RandomBytes(8192, 21);
  auto whole = Prepared(GetParam());
  auto split = Prepared(GetParam());
  const auto expected = InBlocks(*whole, input, {8192});
  const std::vector<int32_t> lengths = GetParam() == kBfoNumerique
                                           ? std::vector<int32_t>{2048, 1024, 5120}
                                           : std::vector<int32_t>{2666, 1, 333, 2048};
  EXPECT_EQ(InBlocks(*split, input, lengths), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SplitBlockTest,
                         testing::Values(kPasseBas, kPasseBande, kBfoNumerique));

TEST(ProcessBlock, BypassIsByteExact) {
  const auto input = test::RandomBytes(5000, 4);
  for (std::string_view kind : {kPasseBas, kPasseBande}) {
    auto dsp = Prepared(kind);
    dsp->PasseBas.LowPassBypass = true;
    dsp->PasseBande.BandPassBypass = true;
    EXPECT_EQ(InBlocks(*dsp, input, {2666}), input) << kind;
  }
}

TEST(ProcessBlock, OtherKindsLeaveTheOutputAlone) {
  const auto input = test::RandomBytes(3000, 2);
  for (const char* kind : {"", "passebas", "PASSEBAS ", "BFO", "PASSE_BAS", "FILTRE"}) {
    auto dsp = Prepared(kind);
    EXPECT_EQ(InBlocks(*dsp, input, {2666}), std::vector<uint8_t>(3000, 0x55)) << kind;
  }
}

TEST(ProcessBlock, BfoWritesWholeSubBlocksOnly) {
  auto dsp = Prepared(kBfoNumerique);
  const auto input = test::RandomBytes(2500, 6);
  std::vector<uint8_t> out(2500, 0x55);
  dsp->BlockLength = 2500;
  ProcessBlock(*dsp, input.data(), out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 2048, out.end()), std::vector<uint8_t>(452, 0x55));
  EXPECT_NE(std::vector<uint8_t>(out.begin(), out.begin() + 2048),
            std::vector<uint8_t>(2048, 0x55));
  // Shorter than one sub-block: nothing written.
  dsp->BlockLength = 1000;
  std::vector<uint8_t> untouched(1000, 0x55);
  ProcessBlock(*dsp, input.data(), untouched.data());
  EXPECT_EQ(untouched, std::vector<uint8_t>(1000, 0x55));
}

}  // namespace
}  // namespace velunda
