// End-to-end runs of the built velunda-filtre on small files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <set>

#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"

namespace velunda {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct RunResult {
  int status = -1;
  std::string err;
};

class VelundaFiltre : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velunda-filtre-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the program; `fileSizeLimit` > 0 makes writes beyond that many bytes fail.
  RunResult Run(std::vector<std::string> args, long fileSizeLimit = 0) const {
    args.insert(args.begin(), VELUNDA_FILTRE);
    const std::string errPath = Path(".stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, STDERR_FILENO);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, STDOUT_FILENO);
      if (fileSizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
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
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    std::ifstream in(errPath);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errPath);
    return r;
  }

  // The names in the work directory: an aborted run must leave nothing of its own.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

  fs::path dir_;
};

void WriteRaw(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A WAV of any libsndfile subtype; `fill` writes the frames.
void WriteWav(const std::string& path, int format, int rate, int channels,
              const std::function<void(SNDFILE*)>& fill) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  fill(f);
  sf_close(f);
}

void WriteU8Wav(const std::string& path, const Bytes& bytes, int rate = 8000) {
  WriteWav(path, SF_FORMAT_PCM_U8, rate, 1, [&](SNDFILE* f) {
    sf_write_raw(f, bytes.data(), static_cast<sf_count_t>(bytes.size()));
  });
}

// The data bytes of an unsigned 8-bit mono WAV, checking its header on the way.
Bytes ReadU8Wav(const std::string& path, int rate) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << path;
  if (f == nullptr) {
    return {};
  }
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, rate);
  Bytes bytes(static_cast<size_t>(info.frames));
  EXPECT_EQ(sf_read_raw(f, bytes.data(), info.frames), info.frames);
  sf_close(f);
  return bytes;
}

Bytes ReadOutput(const std::string& path, int rate) {
  return path.ends_with(".u8") ? ReadRaw(path) : ReadU8Wav(path, rate);
}

// Noise over a tone, every byte value included.
Bytes Signal(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> noise(-40, 40);
  Bytes s(n);
  for (size_t i = 0; i < n; ++i) {
    const int tone = (i % 16) < 8 ? 60 : -60;
    s[i] = static_cast<uint8_t>(std::clamp(128 + tone + noise(gen), 0, 255));
  }
  for (size_t i = 0; i < 256 && i < n; ++i) {
    s[i] = static_cast<uint8_t>(i);
  }
  return s;
}

// ---------------------------------------------------------------------------------------------
// Bypass: the bytes come out exactly as they went in, in every container pairing.

struct BypassCase {
  std::vector<std::string> filter;
  std::string in, out;
  int rate;
};

void PrintTo(const BypassCase& c, std::ostream* os) { *os << c.in << " -> " << c.out; }

class Bypass : public VelundaFiltre, public ::testing::WithParamInterface<BypassCase> {};

TEST_P(Bypass, OutputEqualsInputByteForByte) {
  const auto& c = GetParam();
  const Bytes input = Signal(2666 * 2 + 777, 7);
  if (c.in.ends_with(".u8")) {
    WriteRaw(Path(c.in), input);
  } else {
    WriteU8Wav(Path(c.in), input, c.rate);
  }
  auto args = c.filter;
  args.insert(args.end(), {Path(c.in), Path(c.out)});
  const RunResult r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadOutput(Path(c.out), c.rate), input);
  EXPECT_EQ(Listing(), (std::set<std::string>{c.in, c.out}));
}

INSTANTIATE_TEST_SUITE_P(
    Containers, Bypass,
    ::testing::Values(
        BypassCase{{"PASSEBAS", "--coupure", "sans"}, "in.wav", "out.wav", 8000},
        BypassCase{{"passebas", "--coupure", "sans"}, "in.u8", "out.u8", 8000},
        BypassCase{{"PASSEBAS", "--coupure", "sans"}, "in.WAV", "out.u8", 8000},
        BypassCase{{"PASSEBAS", "--coupure", "sans", "--fe", "11025"}, "in.u8", "out.wav", 11025},
        BypassCase{{"PASSEBANDE", "--centre", "sans", "--fe", "11025"}, "in.wav", "out.wav", 11025},
        // In place: the input is read to its end before the output takes its name.
        BypassCase{{"PASSEBAS", "--coupure", "sans"}, "meme.wav", "meme.wav", 8000},
        BypassCase{{"PASSEBAS", "--coupure", "sans"}, "meme.u8", "meme.u8", 8000}));

// ---------------------------------------------------------------------------------------------
// Filtering: the file equals the blocks run through ProcessBlock in-process.

struct FilterCase {
  std::string name;
  std::vector<std::string> args;
  size_t length;
  std::function<void(DspState&)> setup;  // the filter as the launch would leave it
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class Filtering : public VelundaFiltre, public ::testing::WithParamInterface<FilterCase> {};

// Per-sample filters carry their state across blocks, so the whole file as one block is the
// reference; the BFO works on 1024-sample blocks from the start of the file, the last one
// padded with silence.
Bytes Reference(const FilterCase& c, const Bytes& input) {
  auto dsp = std::make_unique<DspState>();
  c.setup(*dsp);
  const size_t sub = dsp->FilterKind == "BFO_NUMERIQUE" ? dsp->Transform.TransformSize : 1;
  Bytes padded = input;
  padded.resize((input.size() + sub - 1) / sub * sub, 128);
  Bytes out(padded.size(), 0);
  dsp->BlockLength = static_cast<int32_t>(padded.size());
  ProcessBlock(*dsp, padded.data(), out.data());
  out.resize(input.size());
  return out;
}

TEST_P(Filtering, FileEqualsInProcessRun) {
  const auto& c = GetParam();
  const Bytes input = Signal(c.length, 11);
  WriteRaw(Path("in.u8"), input);
  auto args = c.args;
  args.insert(args.end(), {Path("in.u8"), Path("out.u8")});
  const RunResult r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes output = ReadRaw(Path("out.u8"));
  ASSERT_EQ(output.size(), input.size());
  EXPECT_EQ(output, Reference(c, input));
  EXPECT_NE(output, input);
}

void LowPass(DspState& d, int rate, double cutoff, int taps) {
  d.FilterKind = "PASSEBAS";
  d.SampleRate = rate;
  d.PasseBas.LowPassCutoff = cutoff;
  d.PasseBas.LowPassTapCount = taps;
  LowPassDesign(d);
}

void BandPass(DspState& d, int rate, uint16_t centre, double width, int taps) {
  d.FilterKind = "PASSEBANDE";
  d.SampleRate = rate;
  d.PasseBande.BandPassCentre = centre;
  d.PasseBande.BandPassWidth = width;
  d.PasseBande.BandPassTapCount = taps;
  BandPassSetup(d);
}

void Bfo(DspState& d, int rate, int shift, bool inverted) {
  d.FilterKind = "BFO_NUMERIQUE";
  d.SampleRate = rate;
  d.Bfo.BfoShift = shift;
  d.Bfo.BfoInverted = inverted;
  d.Transform.WindowEnabled = false;
  d.Transform.TransformSize = 1024;
  TransformInit(d.Transform);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, Filtering,
    ::testing::Values(
        FilterCase{"LowPassPartialLastBlock",
                   {"PASSEBAS", "--coupure", "700", "--coefficients", "64"},
                   2666 * 2 + 1001,
                   [](DspState& d) { LowPass(d, 8000, 700, 64); }},
        FilterCase{"LowPassShorterThanABlock",
                   {"PASSEBAS", "--coefficients", "1000"},
                   500,
                   [](DspState& d) { LowPass(d, 8000, 1000, 1000); }},
        FilterCase{"LowPass11025",
                   {"PASSEBAS", "--fe", "11025", "--coupure", "3000", "--coefficients", "30"},
                   3675 + 10,
                   [](DspState& d) { LowPass(d, 11025, 3000, 30); }},
        FilterCase{"BandPass",
                   {"PASSEBANDE", "--centre", "1000", "--largeur", "500", "--coefficients", "100"},
                   2666 * 3,
                   [](DspState& d) { BandPass(d, 8000, 1000, 500, 100); }},
        FilterCase{"BfoShiftUpPaddedLastBlock",
                   {"BFO_NUMERIQUE", "--decalage", "10"},
                   2048 * 2 + 100,
                   [](DspState& d) { Bfo(d, 6250, 10, false); }},
        FilterCase{"BfoInvertedShiftDownOddSubBlock",
                   {"BFO_NUMERIQUE", "--inversion", "--decalage", "-5"},
                   2048 + 1024 + 3,
                   [](DspState& d) { Bfo(d, 6250, -5, true); }},
        FilterCase{"Bfo8000ShorterThanASubBlock",
                   {"bfo_numerique", "--fe", "8000", "--decalage", "-129"},
                   700,
                   [](DspState& d) { Bfo(d, 8000, -129, false); }}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// Inputs other than unsigned 8-bit mono: mixed down and brought to the 8-bit scale
// (nearest of 128 + 128 x, ties to even, clamped).

TEST_F(VelundaFiltre, WiderInputsAreConvertedByTheDocumentedRule) {
  struct Case {
    std::string name;
    std::function<void(const std::string&)> write;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {"pcm16.wav",
       [](const std::string& p) {
         WriteWav(p, SF_FORMAT_PCM_16, 8000, 1, [](SNDFILE* f) {
           const short v[] = {-32768, -32767, -129, -128, 0, 128, 383, 384, 640, 32767};
           sf_write_short(f, v, 10);
         });
       },
       {0, 0, 127, 128, 128, 128, 129, 130, 130, 255}},
      {"float.wav",
       [](const std::string& p) {
         WriteWav(p, SF_FORMAT_FLOAT, 8000, 1, [](SNDFILE* f) {
           const float v[] = {-2.0f, -1.0f, -0.5f, 0.5f, 0.99f, 1.5f};
           sf_write_float(f, v, 6);
         });
       },
       {0, 0, 64, 192, 255, 255}},
      {"stereo-u8.wav",
       [](const std::string& p) {
         WriteWav(p, SF_FORMAT_PCM_U8, 8000, 2, [](SNDFILE* f) {
           const short v[] = {(0 - 128) * 256,  (255 - 128) * 256, (10 - 128) * 256,
                              (20 - 128) * 256, (10 - 128) * 256,  (21 - 128) * 256,
                              (11 - 128) * 256, (20 - 128) * 256};
           sf_writef_short(f, v, 4);
         });
       },
       {128, 15, 16, 16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.write(Path(c.name));
    const RunResult r = Run({"PASSEBAS", "--coupure", "sans", Path(c.name), Path("out.u8")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadRaw(Path("out.u8")), c.expected);
  }
}

TEST_F(VelundaFiltre, OutputContainerFollowsTheExtension) {
  WriteRaw(Path("in.u8"), Signal(3000, 3));
  // libsndfile's headerless container holds unsigned bytes as they are.
  RunResult r = Run({"PASSEBAS", "--coupure", "sans", Path("in.u8"), Path("out.raw")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadRaw(Path("out.raw")), ReadRaw(Path("in.u8")));
  // FLAC has no unsigned 8-bit samples: refused before anything is written.
  r = Run({"PASSEBAS", "--coupure", "sans", Path("in.u8"), Path("out.flac")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("8 bits non signé"), std::string::npos) << r.err;
  r = Run({"BFO_NUMERIQUE", Path("in.u8"), Path("out.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadU8Wav(Path("out.wav"), 6250).size(), 3000u);
  EXPECT_EQ(Listing(), (std::set<std::string>{"in.u8", "out.raw", "out.wav"}));
}

// ---------------------------------------------------------------------------------------------
// Failures: one French line, the right status, and nothing left behind as if complete.

struct FailureCase {
  std::string name;
  std::vector<std::string> args;  // "@x" is the work directory's file x
  int status;
  std::string message;
  long fileSizeLimit = 0;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class Failures : public VelundaFiltre, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, ExitStatusMessageAndNoOutput) {
  const auto& c = GetParam();
  WriteU8Wav(Path("in.wav"), Signal(20000, 5));
  WriteU8Wav(Path("in44100.wav"), Signal(100, 5), 44100);
  WriteRaw(Path("in.u8"), Signal(20000, 5));
  WriteRaw(Path("garbage.wav"), Bytes(300, 'x'));
  WriteRaw(Path("old.wav"), Bytes{'O', 'L', 'D'});
  fs::create_directory(Path("dossier"));
  const auto before = Listing();

  std::vector<std::string> args;
  for (const auto& a : c.args) {
    args.push_back(a.starts_with("@") ? Path(a.substr(1)) : a);
  }
  const RunResult r = Run(args, c.fileSizeLimit);
  EXPECT_EQ(r.status, c.status);
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.starts_with("velunda-filtre : ")) << r.err;
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(ReadRaw(Path("old.wav")), (Bytes{'O', 'L', 'D'}));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Failures,
    ::testing::Values(
        FailureCase{"UnknownOption",
                    {"PASSEBAS", "--vite", "@in.wav", "@out.wav"},
                    2,
                    "option inconnue : --vite"},
        FailureCase{
            "BadCutoff", {"PASSEBAS", "--coupure", "3500", "@in.wav", "@out.wav"}, 2, "--coupure"},
        FailureCase{"MissingInput", {"PASSEBAS", "@absent.wav", "@out.wav"}, 1, "introuvable"},
        FailureCase{
            "InputIsADirectory", {"PASSEBAS", "@dossier", "@out.wav"}, 1, "c'est un dossier"},
        FailureCase{"NotASoundFile",
                    {"PASSEBAS", "@garbage.wav", "@out.wav"},
                    1,
                    "format de fichier son non reconnu"},
        FailureCase{"RateMismatch",
                    {"PASSEBAS", "@in44100.wav", "@old.wav"},
                    2,
                    "44100 Hz et le filtre fonctionne à 8000 Hz"},
        FailureCase{"BfoRateMismatch",
                    {"BFO_NUMERIQUE", "@in.wav", "@out.wav"},
                    2,
                    "8000 Hz et le filtre fonctionne à 6250 Hz"},
        FailureCase{
            "UnknownOutputFormat", {"PASSEBAS", "@in.wav", "@out.xyz"}, 2, "format de sortie"},
        FailureCase{"OutputDirectoryMissing",
                    {"PASSEBAS", "--coefficients", "10", "@in.wav", "@absent/out.wav"},
                    1,
                    "introuvable"},
        FailureCase{"OutputIsADirectory",
                    {"PASSEBAS", "--coefficients", "10", "@in.wav", "@dossier"},
                    1,
                    "c'est un dossier"},
        FailureCase{"WavWriteFailsMidway",
                    {"PASSEBAS", "--coefficients", "10", "@in.wav", "@old.wav"},
                    1,
                    "erreur d'écriture",
                    8000},
        FailureCase{"RawWriteFailsMidway",
                    {"PASSEBAS", "--coefficients", "10", "@in.u8", "@out.u8"},
                    1,
                    "erreur d'écriture",
                    8000}),
    [](const auto& info) { return info.param.name; });

TEST_F(VelundaFiltre, HelpAndMissingArguments) {
  RunResult r = Run({"--aide"});
  EXPECT_EQ(r.status, 0);
  r = Run({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

}  // namespace
}  // namespace velunda
