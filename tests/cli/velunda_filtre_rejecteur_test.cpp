// velunda-filtre with the carrier rejector and the two noise reducers: files equal the
// in-process filters prepared as the launch does, and --auto reports every decision.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"

namespace velunda {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Outcome {
  int status = -1;
  std::vector<std::string> decisions;  // stdout lines other than the closing summary
  std::string err;
};

class FiltreRejecteur : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velunda-rejecteur-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void WriteRaw(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadRaw(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  // Runs velunda-filtre on in.u8 into out.u8.
  Outcome Run(std::vector<std::string> args) const {
    args.insert(args.begin(), VELUNDA_FILTRE);
    args.push_back(Path("in.u8"));
    args.push_back(Path("out.u8"));
    const std::string outPath = Path(".stdout");
    const std::string errPath = Path(".stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& a : args) {
        argv.push_back(a.data());
      }
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    Outcome o;
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    std::ifstream out(outPath);
    for (std::string line; std::getline(out, line);) {
      if (line.rfind("velunda-filtre", 0) != 0) {
        o.decisions.push_back(line);
      }
    }
    std::ifstream err(errPath);
    o.err.assign(std::istreambuf_iterator<char>(err), {});
    return o;
  }

 private:
  fs::path dir_;
};

Bytes Tone(double hz, double amplitude, int32_t rate, size_t n, uint32_t hissSeed = 0) {
  Bytes v(n);
  uint32_t seed = hissSeed;
  for (size_t i = 0; i < n; ++i) {
    double s = 127.5 + amplitude * std::sin(2 * std::numbers::pi * hz * i / rate);
    if (hissSeed != 0) {
      seed = seed * 1664525u + 1013904223u;
      s += static_cast<double>(seed >> 24) / 8.0 - 16.0;
    }
    v[i] = static_cast<uint8_t>(std::clamp(std::nearbyint(s), 0.0, 255.0));
  }
  return v;
}

// The filter run in process in blocks of BlockLength, the last one shorter.
Bytes InProcess(const std::function<void(DspState&)>& prepare, const Bytes& input) {
  auto dsp = std::make_unique<DspState>();
  prepare(*dsp);
  const auto block = static_cast<size_t>(dsp->BlockLength);
  Bytes out(input.size());
  for (size_t at = 0; at < input.size(); at += block) {
    dsp->BlockLength = static_cast<int32_t>(std::min(block, input.size() - at));
    ProcessBlock(*dsp, input.data() + at, out.data() + at);
  }
  return out;
}

std::function<void(DspState&)> Rejector(int32_t rate, double frequency, uint8_t wide,
                                        uint8_t automatic, int32_t threshold, int32_t length,
                                        int32_t divisor) {
  return [=](DspState& d) {
    d.FilterKind = "REJECTEUR_PAR_TFD";
    d.SampleRate = rate;
    d.BlockLength = 2048;
    RejecteurState& r = d.Rejecteur;
    r.RejectorSampleRate = rate;
    r.NotchNyquist = rate / 2;
    NotchDesignNarrow(d);
    NotchDesignWide(d);
    r.NotchLength = length;
    r.DetectionDivisor = divisor;
    r.NotchFrequency = frequency;
    r.NotchWide = wide;
    r.NotchAuto = automatic;
    r.NotchThreshold = threshold;
    PrepareRejectorRun(d);
  };
}

std::function<void(DspState&)> General(int32_t rate, bool off, int32_t level) {
  return [=](DspState& d) {
    d.FilterKind = "REDUCTEUR_GENERAL";
    d.SampleRate = rate;
    d.BlockLength = rate / 3;
    d.ReducteurGeneral.VoiceReducerSampleRate = rate;
    d.ReducteurGeneral.VoiceReductionOff = off;
    d.ReducteurGeneral.VoiceReductionLevel = level;
    GeneralReducerSetup(d);
  };
}

std::function<void(DspState&)> Cw(int32_t rate, bool off, uint8_t mode) {
  return [=](DspState& d) {
    d.FilterKind = "REDUCTEUR_CW";
    d.SampleRate = rate;
    d.BlockLength = rate / 3;
    d.ReducteurCw.CwReducerSampleRate = rate;
    d.ReducteurCw.CwReductionOff = off;
    d.ReducteurCw.CwRttyMode = mode;
    CwReducerSetup(d);
  };
}

struct FileCase {
  std::string name;
  std::vector<std::string> args;
  int32_t rate;
  std::function<void(DspState&)> prepare;
  bool passThrough;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class Files : public FiltreRejecteur, public ::testing::WithParamInterface<FileCase> {};

TEST_P(Files, OutputEqualsTheFilterInProcess) {
  const FileCase& c = GetParam();
  const Bytes input = Tone(1230.0, 70.0, c.rate, static_cast<size_t>(c.rate) * 2 + 777, 99);
  WriteRaw("in.u8", input);
  const Outcome o = Run(c.args);
  ASSERT_EQ(o.status, 0) << o.err;
  const Bytes output = ReadRaw("out.u8");
  EXPECT_EQ(output, InProcess(c.prepare, input));
  EXPECT_EQ(output == input, c.passThrough);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, Files,
    ::testing::Values(
        FileCase{"RejectorNarrowShort11025",
                 {"REJECTEUR_PAR_TFD", "--fe", "11025", "--etroite", "--frequence", "700",
                  "--coefficients", "300", "--diviseur", "2"},
                 11025,
                 Rejector(11025, 700, 0, 0, 1001, 300, 2),
                 false},
        FileCase{"RejectorAutomatic",
                 {"REJECTEUR_PAR_TFD", "--auto", "--seuil", "tres-bas", "--coefficients", "600",
                  "--diviseur", "4"},
                 8000,
                 Rejector(8000, 1000, 1, 1, 101, 600, 4),
                 false},
        FileCase{"GeneralStrong11025",
                 {"REDUCTEUR_GENERAL", "--reduction", "forte", "--fe", "11025"},
                 11025,
                 General(11025, false, 1),
                 false},
        FileCase{"GeneralOff",
                 {"REDUCTEUR_GENERAL", "--reduction", "sans"},
                 8000,
                 General(8000, true, 3),
                 true},
        FileCase{"Rtty11025",
                 {"REDUCTEUR_CW", "--mode", "rtty", "--fe", "11025"},
                 11025,
                 Cw(11025, false, 1),
                 false},
        FileCase{"CwOff", {"REDUCTEUR_CW", "--mode", "sans"}, 8000, Cw(8000, true, 0), true}),
    [](const auto& info) { return info.param.name; });

struct DecisionCase {
  std::string name;
  std::vector<std::string> args;
  Bytes input;
  std::vector<std::string> lines;
};

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class Decisions : public FiltreRejecteur, public ::testing::WithParamInterface<DecisionCase> {};

// One line per decision, timed at the sample it was taken on (the last of every second
// transform block), counted from the start of the file.
TEST_P(Decisions, OneLinePerDecision) {
  const DecisionCase& c = GetParam();
  WriteRaw("in.u8", c.input);
  const Outcome o = Run(c.args);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.decisions, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Rejector, Decisions,
    ::testing::Values(
        DecisionCase{"ToneAt1230",
                     {"REJECTEUR_PAR_TFD", "--auto", "--coefficients", "1000", "--diviseur", "1"},
                     Tone(1230.0, 80.0, 8000, 12000),
                     {"0.512 Trouvé 1250", "1.024 Trouvé 1250"}},
        DecisionCase{"WeakToneUnderTheHighestThreshold",
                     {"REJECTEUR_PAR_TFD", "--auto", "--seuil", "tres-haut", "--diviseur", "2",
                      "--frequence", "2000"},
                     Tone(1230.0, 10.0, 8000, 4200),
                     {"0.256 Echec 2000", "0.512 Echec 2000"}},
        DecisionCase{
            "Silence11025",
            {"REJECTEUR_PAR_TFD", "--auto", "--fe", "11025", "--diviseur", "1", "--seuil", "101"},
            Bytes(4096, 128),
            {"0.371 Echec 1000"}},
        DecisionCase{"ManualModeSaysNothing",
                     {"REJECTEUR_PAR_TFD", "--coefficients", "100", "--diviseur", "1"},
                     Tone(1230.0, 80.0, 8000, 9000),
                     {}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace velunda
