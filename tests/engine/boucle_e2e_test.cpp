// A session on the virtual card plays two silent blocks, then exactly what the same filter,
// prepared the same way, makes of the same input offline.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/filter_setup.hpp"
#include "cli/options.hpp"
#include "dsp/filter_kind.hpp"
#include "dsp/process_block.hpp"
#include "engine/boucle.hpp"
#include "rig.hpp"

namespace velunda::test {
namespace {

// Two tones and some noise, well inside the byte range.
std::vector<uint8_t> Signal(size_t n, int32_t rate) {
  std::vector<uint8_t> s(n);
  uint32_t seed = 12345;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double t = static_cast<double>(i) / rate;
    const double v = 128.0 + 55.0 * std::sin(2 * M_PI * 700 * t) +
                     35.0 * std::sin(2 * M_PI * 1900 * t) + static_cast<double>((seed >> 16) % 31) -
                     15.0;
    s[i] = static_cast<uint8_t>(std::nearbyint(v));
  }
  return s;
}

struct Kind {
  const char* name;
  std::vector<std::string> cliOptions;  // after FILTRE ENTREE SORTIE; empty: not in the CLI
  void (*prepare)(DspState&);           // for the kinds the CLI cannot run yet
};

void PrepareRejector(DspState& dsp) {
  ManualClock clock;
  dsp.Rejecteur.RejectorSampleRate = 8000;
  dsp.Rejecteur.NotchNyquist = 4000;
  dsp.Rejecteur.NotchFrequency = 1900;
  PrepareNotchTables(dsp, clock);
  dsp.SampleRate = 8000;
  dsp.BlockLength = 2048;
  PrepareRejectorRun(dsp);
  dsp.FilterKind = std::string(kRejecteurParTfd);
}

void PrepareGeneral(DspState& dsp) {
  dsp.SampleRate = 8000;
  dsp.BlockLength = 2666;
  GeneralReducerSetup(dsp);
  dsp.FilterKind = std::string(kReducteurGeneral);
}

void PrepareCw(DspState& dsp) {
  dsp.SampleRate = 8000;
  dsp.BlockLength = 2666;
  dsp.ReducteurCw.CwReducerSampleRate = 8000;
  CwReducerSetup(dsp);
  dsp.FilterKind = std::string(kReducteurCw);
}

std::vector<std::string> CliArgs(const Kind& k, const std::string& in, const std::string& out) {
  std::vector<std::string> args = {k.name, in, out};
  args.insert(args.end(), k.cliOptions.begin(), k.cliOptions.end());
  return args;
}

std::unique_ptr<DspState> Prepared(const Kind& k) {
  auto dsp = std::make_unique<DspState>();
  if (k.prepare != nullptr) {
    k.prepare(*dsp);
    return dsp;
  }
  Options options;
  const ParseResult parsed = ParseOptions(CliArgs(k, "in.u8", "out.u8"), options);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  ManualClock clock;
  std::string error;
  EXPECT_TRUE(PrepareFilter(*dsp, options, clock, error)) << error;
  return dsp;
}

std::vector<uint8_t> Offline(DspState& dsp, const std::vector<uint8_t>& input) {
  const size_t bl = static_cast<size_t>(dsp.BlockLength);
  std::vector<uint8_t> out(input.size(), 128);
  for (size_t i = 0; i + bl <= input.size(); i += bl) {
    ProcessBlock(dsp, input.data() + i, out.data() + i);
  }
  return out;
}

// Runs the built velunda-filtre offline; empty when it is not there or fails.
std::vector<uint8_t> ThroughTheCommand(const Kind& k, const std::vector<uint8_t>& input) {
  const std::string exe = VELUNDA_FILTRE;
  if (k.cliOptions.empty() || access(exe.c_str(), X_OK) != 0 || !FilterAvailable(k.name)) {
    return {};
  }
  const auto dir = std::filesystem::temp_directory_path() /
                   ("velunda_e2e_" + std::to_string(getpid()) + "_" + k.name);
  std::filesystem::create_directories(dir);
  const std::string in = (dir / "in.u8").string();
  const std::string out = (dir / "out.u8").string();
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(input.data()),
             static_cast<std::streamsize>(input.size()));
  std::string command = "'" + exe + "'";
  for (const std::string& a : CliArgs(k, in, out)) {
    command += " '" + a + "'";
  }
  command += " 2>/dev/null";
  std::vector<uint8_t> result;
  if (std::system(command.c_str()) == 0) {
    std::ifstream f(out, std::ios::binary);
    result.assign(std::istreambuf_iterator<char>(f), {});
  }
  std::filesystem::remove_all(dir);
  return result;
}

class EndToEnd : public testing::TestWithParam<Kind> {};

TEST_P(EndToEnd, SpeakerPlaysTwoSilentBlocksThenTheOfflineOutput) {
  const Kind& kind = GetParam();
  auto live = Prepared(kind);
  auto offline = std::make_unique<DspState>(*live);
  const int32_t rate = live->SampleRate;
  const size_t bl = static_cast<size_t>(live->BlockLength);
  const std::vector<uint8_t> input = Signal(8 * bl, rate);

  // End after five blocks of capture, before the looped input comes round again.
  VirtualCardConfig config;
  config.input = input;
  const uint32_t endAt = static_cast<uint32_t>(5 * bl * 1000 / static_cast<size_t>(rate)) + 3;
  Rig rig(config, {KeyAt(1000 + endAt, kScanEnd)});

  RunSession(rig.engine, *live, {}, rig.platform);

  const std::vector<uint8_t>& speaker = rig.card.Speaker();
  ASSERT_GE(speaker.size(), 5 * bl);
  ASSERT_TRUE(rig.messages().empty());
  const std::vector<uint8_t> silence(2 * bl, 128);
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin(), speaker.begin() + 2 * bl), silence);
  const std::vector<uint8_t> expected = Offline(*offline, input);
  const size_t n = speaker.size() - 2 * bl;
  EXPECT_EQ(std::vector<uint8_t>(speaker.begin() + 2 * bl, speaker.end()),
            std::vector<uint8_t>(expected.begin(), expected.begin() + n));
  // The filter does something: its output is not its input.
  EXPECT_NE(std::vector<uint8_t>(expected.begin(), expected.begin() + n),
            std::vector<uint8_t>(input.begin(), input.begin() + n));

  const std::vector<uint8_t> command = ThroughTheCommand(kind, input);
  if (!command.empty()) {
    ASSERT_GE(command.size(), n);
    EXPECT_EQ(std::vector<uint8_t>(speaker.begin() + 2 * bl, speaker.end()),
              std::vector<uint8_t>(command.begin(), command.begin() + n));
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFilter, EndToEnd,
    testing::Values(Kind{"PASSEBAS", {"--coupure", "1200", "--coefficients", "200"}, nullptr},
                    Kind{"PASSEBANDE", {"--centre", "900", "--coefficients", "200"}, nullptr},
                    Kind{"BFO_NUMERIQUE", {"--decalage", "3", "--inversion"}, nullptr},
                    Kind{"REJECTEUR_PAR_TFD", {}, PrepareRejector},
                    Kind{"REDUCTEUR_GENERAL", {}, PrepareGeneral},
                    Kind{"REDUCTEUR_CW", {}, PrepareCw}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velunda::test
