// End-to-end runs of the built velunda-filtre on recordings at other rates and on streams.
#include <poll.h>
#include <sndfile.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <thread>

#include "audio_io/audio_file.hpp"
#include "cli/test_support.hpp"
#include "common/signals.hpp"

namespace velunda {
namespace {

using testing::Bytes;
using testing::WorkDir;

class Recordings : public WorkDir {
 protected:
  // Writes `values` (-1..+1) as a 16-bit recording, the same in every channel.
  void WriteRecording(const std::string& name, int format, int32_t rate, int channels,
                      const std::vector<double>& values) const {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(Path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<double> frames;
    for (double v : values) {
      frames.insert(frames.end(), static_cast<size_t>(channels), v);
    }
    sf_writef_double(f, frames.data(), static_cast<sf_count_t>(values.size()));
    sf_close(f);
  }
  // A recording's values, its rate and its libsndfile format.
  std::vector<double> ReadRecording(const std::string& name, SF_INFO& info) const {
    info = SF_INFO{};
    SNDFILE* f = sf_open(Path(name).c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << name;
    if (f == nullptr) {
      return {};
    }
    std::vector<double> v(static_cast<size_t>(info.frames * info.channels));
    sf_readf_double(f, v.data(), info.frames);
    sf_close(f);
    return v;
  }
};

using common::ToneValues;

// Amplitude of the `hz` component of `v` (Goertzel over the whole of it).
double Amplitude(const std::vector<double>& v, double hz, int32_t rate) {
  std::complex<double> sum = 0.0;
  for (size_t i = 0; i < v.size(); ++i) {
    sum += v[i] * std::polar(1.0, -2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
  }
  return 2.0 * std::abs(sum) / static_cast<double>(v.size());
}

// The filters on recordings of the usual rates and containers: the tone one keeps comes
// through (where the filter puts it), the tone it removes does not. (The band-pass and the
// reducers take the low-pass's way, at 8000 Hz in blocks of a third of a second.)
struct ToneCase {
  const char* name;
  const char* filter;
  double keep;    // a tone that must come through...
  double keptAt;  // ...found there in the output
  double remove;  // a tone that must go
  const char* file;
  int format;
  int32_t rate;
  int channels;
};

void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }

class ToneThroughFilters : public Recordings, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(ToneThroughFilters, KeptToneStaysRemovedOneGoes) {
  const ToneCase& c = GetParam();
  const size_t n = static_cast<size_t>(c.rate) * 3;
  // Past the filters' start (the rejector's notch, the reducers' noise estimate).
  const auto settled = [](const std::vector<double>& v, int32_t rate) {
    return std::vector<double>(v.begin() + rate, v.end());
  };
  WriteRecording(c.file, c.format, c.rate, c.channels, ToneValues(c.keep, 0.4, c.rate, n));
  auto r = Run(std::string(c.filter) + " @" + c.file + " @kept.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("est à " + std::to_string(c.rate) + " Hz, rééchantillonné à"),
            std::string::npos)
      << r.err;
  SF_INFO info;
  const auto kept = ReadRecording("kept.wav", info);
  const int32_t rate = info.samplerate;
  EXPECT_EQ(info.frames, (static_cast<int64_t>(n) * rate + c.rate / 2) / c.rate);
  EXPECT_GT(Amplitude(settled(kept, rate), c.keptAt, rate), 0.4 * 0.6) << c.keptAt;

  WriteRecording(c.file, c.format, c.rate, c.channels, ToneValues(c.remove, 0.4, c.rate, n));
  r = Run(std::string(c.filter) + " @" + c.file + " @removed.wav");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto out = settled(ReadRecording("removed.wav", info), rate);
  EXPECT_LT(Amplitude(out, c.remove, rate), 0.4 * 0.1);
}

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
              kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

INSTANTIATE_TEST_SUITE_P(
    Filters, ToneThroughFilters,
    ::testing::Values(ToneCase{"LowPassWav44100Stereo",
                               "PASSEBAS --coupure 1000 --coefficients 200", 500, 500, 2500,
                               "in.wav", kWav16, 44100, 2},
                      ToneCase{"RejectorFlac48000",
                               "REJECTEUR_PAR_TFD --frequence 1000 --coefficients 400", 2000, 2000,
                               1000, "in.flac", kFlac16, 48000, 1},
                      ToneCase{"BfoWav44100Stereo", "BFO_NUMERIQUE --decalage 20", 1000,
                               1000 + 20 * 6250.0 / 1024, 1000, "in.wav", kWav16, 44100, 2},
                      ToneCase{"BfoFlac48000", "BFO_NUMERIQUE --decalage 20", 1000,
                               1000 + 20 * 6250.0 / 1024, 1000, "in.flac", kFlac16, 48000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// --fe-sortie: 16-bit PCM at the rate asked, the input's length when that is the input's rate.
TEST_F(Recordings, OutputRateGivesTheInputsLengthIn16Bits) {
  struct Case {
    const char* in;
    int format;
    int32_t rate;
    int channels;
    size_t length;
    const char* args;
    const char* out;
    int outFormat;
  };
  const Case cases[] = {
      Case("a.wav", kWav16, 44100, 2, 44100 * 2 + 17,
           "PASSEBAS --coefficients 100 --fe-sortie 44100", "a-out.wav", kWav16),
      Case("b.flac", kFlac16, 48000, 1, 48000 + 1, "BFO_NUMERIQUE --decalage -3 --fe-sortie 48000",
           "b-out.flac", kFlac16),
      Case("c.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 11025, 1, 11025 + 5,
           "REDUCTEUR_CW --fe 11025 --fe-sortie 11025", "c-out.wav", kWav16),
      // Compressed, where libsndfile has them: the encoder's own length kept by its container.
      Case("d.wav", kWav16, 22050, 1, 22050 + 3, "PASSEBAS --coefficients 100 --fe-sortie 22050",
           "d.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS),
      Case("e.wav", kWav16, 48000, 1, 48000 + 9, "PASSEBAS --coefficients 100 --fe-sortie 48000",
           "e.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS),
      Case("f.wav", kWav16, 44100, 1, 44100 + 1, "PASSEBAS --coefficients 100 --fe-sortie 44100",
           "f.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    WriteRecording(c.in, c.format, c.rate, c.channels, ToneValues(700, 0.3, c.rate, c.length));
    const auto r = Run(std::string(c.args) + " @" + c.in + " @" + c.out);
    ASSERT_EQ(r.status, 0) << r.err;
    SF_INFO info;
    ReadRecording(c.out, info);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(c.length));
    EXPECT_EQ(info.samplerate, c.rate);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, c.outFormat);
  }
}

// Collects what is written into the FIFO `path` until its writer closes it (20 s at most).
std::thread ReadFifo(const std::string& path, Bytes& got) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);  // a reader before the writer
  return std::thread([fd, &got] {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20000) > 0) {
      ::fcntl(fd, F_SETFL, 0);
      char b[1 << 16];
      for (ssize_t n; (n = ::read(fd, b, sizeof(b))) > 0;) {
        got.insert(got.end(), b, b + n);
      }
    }
    ::close(fd);
  });
}

// The same audio through pipes and through files gives the same samples: 16-bit at 48000 Hz,
// resampled both ways, as a raw pipe, a WAV file, a WAV stream and a FIFO named as the output
// (a stream too, sizes unknown; a container that must go back is refused there).
TEST_F(Recordings, PipesGiveTheBytesOfFiles) {
  const auto tone = ToneValues(600, 0.5, 48000, 48000 + 333);
  std::vector<int16_t> shorts;
  for (double v : tone) {
    shorts.push_back(static_cast<int16_t>(std::nearbyint(v * 32767)));
  }
  SF_INFO info{48000, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
  SNDFILE* f = sf_open(Path("in48.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  sf_write_short(f, shorts.data(), static_cast<sf_count_t>(shorts.size()));
  sf_close(f);
  WriteBytes("in48.s16", Bytes(reinterpret_cast<const uint8_t*>(shorts.data()),
                               reinterpret_cast<const uint8_t*>(shorts.data() + shorts.size())));
  const std::string filter = "PASSEBANDE --centre 600 --coefficients 100 --fe-sortie 48000 ";
  const auto file = Run(filter + "@in48.wav @out48.wav");
  const auto pipe = Run(filter + "--brut s16 --fe-entree 48000 - -", 0, "in48.s16");
  const auto stream = Run(filter + "- -", 0, "in48.wav");
  ASSERT_EQ(file.status, 0) << file.err;
  ASSERT_EQ(pipe.status, 0) << pipe.err;
  EXPECT_NE(pipe.err.find("l'entrée standard est à 48000 Hz, rééchantillonnée à 8000"),
            std::string::npos);
  ASSERT_EQ(stream.status, 0) << stream.err;
  const Bytes wav = ReadBytes("out48.wav");
  ASSERT_GT(wav.size(), 44u);
  const Bytes samples(wav.end() - static_cast<std::ptrdiff_t>(tone.size() * 2), wav.end());
  EXPECT_EQ(Bytes(pipe.out.begin(), pipe.out.end()), samples);
  ASSERT_EQ(stream.out.size(), 44 + samples.size());
  EXPECT_EQ(stream.out.substr(0, 4), "RIFF");
  EXPECT_EQ(Bytes(stream.out.begin() + 44, stream.out.end()), samples);
  // A FIFO as the input, as a recorder feeds it: read once, from its first byte.
  ASSERT_EQ(::mkfifo(Path("rec.wav").c_str(), 0600), 0);
  std::thread recorder([&, in = ReadBytes("in48.wav")] {
    const int fd = ::open(Path("rec.wav").c_str(), O_WRONLY);
    EXPECT_EQ(::write(fd, in.data(), in.size()), static_cast<ssize_t>(in.size()));
    ::close(fd);
  });
  const auto fromFifo = Run(filter + "@rec.wav @rec-out.wav");
  recorder.join();
  ASSERT_EQ(fromFifo.status, 0) << fromFifo.err;
  const Bytes rec = ReadBytes("rec-out.wav");
  ASSERT_GT(rec.size(), samples.size());
  EXPECT_EQ(Bytes(rec.end() - static_cast<std::ptrdiff_t>(samples.size()), rec.end()), samples);
  for (const char* fifo : {"fifo.wav", "fifo.flac"}) {
    ASSERT_EQ(::mkfifo(Path(fifo).c_str(), 0600), 0);
    Bytes got;
    auto reader = ReadFifo(Path(fifo), got);
    const auto named = Run(filter + "@in48.wav @" + fifo);
    reader.join();
    if (std::string(fifo) == "fifo.flac") {
      EXPECT_EQ(named.status, 2);
      EXPECT_NE(named.err.find("ne s'écrit pas dans un tube"), std::string::npos) << named.err;
      EXPECT_TRUE(got.empty());
    } else {
      ASSERT_EQ(named.status, 0) << named.err;
      Bytes expected = StreamingWavHeader(48000, 16);
      expected.insert(expected.end(), samples.begin(), samples.end());
      ASSERT_EQ(got, expected);
      // The sizes sox writes for a stream of unknown length, which it reads without a warning.
      EXPECT_EQ(Bytes(got.begin() + 4, got.begin() + 8), (Bytes{0x24, 0xF0, 0xFF, 0x7F}));
      EXPECT_EQ(Bytes(got.begin() + 40, got.begin() + 44), (Bytes{0x00, 0xF0, 0xFF, 0x7F}));
    }
  }
}

// A child velunda-filtre with its standard input and output on pipes of the test.
struct Piped {
  pid_t pid = -1;
  int in = -1;   // write end of the program's stdin
  int out = -1;  // read end of its stdout
  std::string errPath;

  Piped(const std::vector<std::string>& args, const std::string& errFile) : errPath(errFile) {
    int toChild[2], fromChild[2];
    EXPECT_EQ(::pipe(toChild), 0);
    EXPECT_EQ(::pipe(fromChild), 0);
    pid = ::fork();
    if (pid == 0) {
      ::dup2(toChild[0], STDIN_FILENO);
      ::dup2(fromChild[1], STDOUT_FILENO);
      ::dup2(::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) {
        ::close(fd);
      }
      std::signal(SIGPIPE, SIG_DFL);
      testing::ExecFiltre(args);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    in = toChild[1];
    out = fromChild[0];
  }
  // Reads at least `count` bytes of the program's output (fewer at its end).
  size_t ReadOut(size_t count) const {
    std::vector<char> buffer(count);
    size_t got = 0;
    while (got < count) {
      const ssize_t n = ::read(out, buffer.data() + got, count - got);
      if (n <= 0) {
        break;
      }
      got += static_cast<size_t>(n);
    }
    return got;
  }
  // Waits for the end; returns the wait status and the peak memory in kB.
  int Wait(long* maxRssKb = nullptr) {
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (maxRssKb != nullptr) {
      *maxRssKb = usage.ru_maxrss;
    }
    return status;
  }
};

// Writes `count` bytes of a repeating pattern into `fd` from a thread, then closes it.
std::thread Feed(int fd, size_t count) {
  return std::thread([fd, count] {
    const Bytes block = testing::Noise(1 << 16, 9);
    for (size_t sent = 0; sent < count;) {
      const size_t n = std::min(block.size(), count - sent);
      const ssize_t w = ::write(fd, block.data(), n);
      if (w <= 0) {
        break;
      }
      sent += static_cast<size_t>(w);
    }
    ::close(fd);
  });
}

class StreamEnds : public WorkDir {
 protected:
  void SetUp() override {
    WorkDir::SetUp();
    previous_ = std::signal(SIGPIPE, SIG_IGN);  // the feeding thread sees EPIPE instead
  }
  void TearDown() override {
    std::signal(SIGPIPE, previous_);
    WorkDir::TearDown();
  }
  std::string Err() const {
    std::ifstream in(Path("err"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void (*previous_)(int) = nullptr;
};

// SIGINT, SIGTERM and SIGHUP: the output ends on a whole sample, the summary is written, and the
// program then dies of the signal so that its caller knows; also while it waits for the rest
// of a WAV header (the output is then an empty WAV stream).
TEST_F(StreamEnds, SignalEndsTheStreamCleanly) {
  const Bytes blocks = testing::Noise(2666 * 2 * 3, 4);
  const Bytes header = {'R', 'I', 'F', 'F', 255, 255, 255, 255, 'W', 'A',
                        'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0,   0};
  const struct {
    const char* name;
    const char* raw;  // --brut's value, or a WAV stream
    const Bytes& in;
    size_t before, after;  // output bytes before and after the signal
    const char* summary;
  } cases[] = {
      {"RawBlocks", "s16", blocks, blocks.size(), 0, ": 7998 échantillons"},
      {"WavHeaderCut", nullptr, header, 0, 44, ": 0 échantillons"},
  };
  for (const auto& c : cases) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(signal));
      std::vector<std::string> args = {"PASSEBAS", "--coefficients", "64", "-", "-"};
      if (c.raw != nullptr) {
        args.insert(args.begin() + 3, {"--brut", c.raw});
      }
      Piped p(args, Path("err"));
      ASSERT_EQ(::write(p.in, c.in.data(), c.in.size()), static_cast<ssize_t>(c.in.size()));
      // All of it processed, or at least taken: the program now waits for more input.
      EXPECT_EQ(p.ReadOut(c.before), c.before);
      for (int i = 0, left = 1; i < 20000 && left > 0 && ::ioctl(p.in, FIONREAD, &left) == 0; ++i) {
        ::usleep(1000);
      }
      ::kill(p.pid, signal);
      size_t rest = 0;
      for (size_t n; (n = p.ReadOut(4096)) > 0;) {
        rest += n;
      }
      const int status = p.Wait();
      ::close(p.in);
      ::close(p.out);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
      EXPECT_EQ(rest, c.after);
      EXPECT_NE(Err().find(c.summary), std::string::npos) << Err();
    }
  }
}

// Memory does not grow with the stream's length: an hour takes what a minute takes.
TEST_F(StreamEnds, MemoryOfAnHourStaysFlat) {
  long rss[2] = {0, 0};
  const size_t seconds[2] = {60, 3600};
  for (int k = 0; k < 2; ++k) {
    Piped p({"PASSEBAS", "--coefficients", "64", "--brut", "s16", "--fe-entree", "16000",
             "--fe-sortie", "11025", "-", "-"},
            Path("err"));
    const size_t bytes = seconds[k] * 16000 * 2;
    auto feeder = Feed(p.in, bytes);
    size_t out = 0;
    for (size_t n; (n = p.ReadOut(1 << 16)) > 0;) {
      out += n;
    }
    const int status = p.Wait(&rss[k]);
    feeder.join();
    ::close(p.out);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Err();
    EXPECT_EQ(out, seconds[k] * 11025 * 2);
  }
  EXPECT_LT(rss[1] - rss[0], 2048) << rss[0] << " kB for a minute, " << rss[1] << " for an hour";
}

}  // namespace
}  // namespace velunda
