// A session on the virtual card plays two silent blocks, then exactly what the same filter,
// prepared the same way, makes of the same input offline.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "cli/filter_setup.hpp"
#include "cli/options.hpp"
#include "dsp/process_block.hpp"
#include "engine/boucle.hpp"
#include "common/signals.hpp"
#include "rig.hpp"

namespace velunda::test {
namespace {

// The filter as velunda-filtre prepares it from "KIND [options]".
std::unique_ptr<DspState> Prepared(const std::string& command) {
  std::istringstream words(command);
  std::vector<std::string> args;
  for (std::string w; words >> w;) {
    args.push_back(w);
    if (args.size() == 1) {
      args.insert(args.end(), {"in.u8", "out.u8"});
    }
  }
  Options options;
  const ParseResult parsed = ParseOptions(args, options);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  auto dsp = std::make_unique<DspState>();
  ManualClock clock;
  std::string error;
  EXPECT_TRUE(PrepareFilter(*dsp, options, clock, error)) << error;
  return dsp;
}

class EndToEnd : public testing::TestWithParam<const char*> {};

TEST_P(EndToEnd, SpeakerPlaysTwoSilentBlocksThenTheOfflineOutput) {
  auto live = Prepared(GetParam());
  auto offline = std::make_unique<DspState>(*live);
  const int32_t rate = live->SampleRate;
  const size_t bl = static_cast<size_t>(live->BlockLength);
  const std::vector<uint8_t> input = common::TonesAndNoise(8 * bl, rate, 12345);

  // End after five blocks of capture, before the looped input comes round again.
  VirtualCardConfig config;
  config.input = input;
  const uint32_t endAt = static_cast<uint32_t>(5 * bl * 1000 / static_cast<size_t>(rate)) + 3;
  Rig rig(config, {KeyAt(kStart + endAt, kScanEnd)});

  RunSession(rig.engine, *live, {}, rig.platform);

  const std::vector<uint8_t>& speaker = rig.card.Speaker();
  ASSERT_GE(speaker.size(), 5 * bl);
  ASSERT_TRUE(rig.messages().empty());
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin(), speaker.begin() + 2 * bl),
            std::vector<uint8_t>(2 * bl, 128));
  std::vector<uint8_t> expected(input.size(), 128);
  for (size_t i = 0; i + bl <= input.size(); i += bl) {
    ProcessBlock(*offline, input.data() + i, expected.data() + i);
  }
  const size_t n = speaker.size() - 2 * bl;
  expected.resize(n);
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin() + 2 * bl, speaker.end()), expected);
  // The filter does something: its output is not its input.
  EXPECT_NE(expected, std::vector<uint8_t>(input.begin(), input.begin() + n));
}

INSTANTIATE_TEST_SUITE_P(EveryFilter, EndToEnd,
                         testing::Values("PASSEBAS --coupure 1200 --coefficients 200",
                                         "PASSEBANDE --centre 900 --coefficients 200",
                                         "BFO_NUMERIQUE --decalage 3 --inversion",
                                         "REJECTEUR_PAR_TFD --frequence 1900 --coefficients 300",
                                         "REDUCTEUR_GENERAL", "REDUCTEUR_CW"),
                         [](const auto& info) {
                           const std::string s = info.param;
                           return s.substr(0, s.find(' '));
                         });

}  // namespace
}  // namespace velunda::test
