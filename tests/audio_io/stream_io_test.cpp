#include "audio_io/stream_io.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <type_traits>

#include "audio_io/audio_file.hpp"
#include "common/wav.hpp"

namespace velunda {
namespace {

using Bytes = std::vector<uint8_t>;

void Le(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) {
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
}
void Tag(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }

// The header fields of a WAV stream, each of which a test may make lie.
struct WavHead {
  uint32_t tag = 1, channels = 1, rate = 8000, bits = 16;
  int64_t blockAlign = -1, byteRate = -1;  // -1: consistent with the rest
  int64_t dataSize = -1;                   // -1: the payload's true size
  bool extraChunk = false;                 // a LIST chunk before fmt
  bool withFmt = true;
};

Bytes Wav(const WavHead& h, const Bytes& payload) {
  Bytes b;
  Tag(b, "RIFF");
  Le(b, 0xFFFFFFFFu, 4);
  Tag(b, "WAVE");
  if (h.extraChunk) {
    Tag(b, "LIST");
    Le(b, 5, 4);
    b.insert(b.end(), {'a', 'b', 'c', 'd', 'e', 0});  // odd length, padded
  }
  const uint32_t align =
      h.blockAlign >= 0 ? static_cast<uint32_t>(h.blockAlign) : h.channels * h.bits / 8;
  if (h.withFmt) {
    Tag(b, "fmt ");
    Le(b, h.tag == 0xFFFE ? 40 : 16, 4);
    Le(b, h.tag, 2);
    Le(b, h.channels, 2);
    Le(b, h.rate, 4);
    Le(b, h.byteRate >= 0 ? static_cast<uint32_t>(h.byteRate) : h.rate * align, 4);
    Le(b, align, 2);
    Le(b, h.bits, 2);
    if (h.tag == 0xFFFE) {
      Le(b, 22, 2);
      Le(b, h.bits, 2);
      Le(b, 4, 4);
      Le(b, 3, 2);  // float sub-format
      b.insert(b.end(), 14, 0);
    }
  }
  Tag(b, "data");
  Le(b, h.dataSize >= 0 ? static_cast<uint32_t>(h.dataSize) : static_cast<uint32_t>(payload.size()),
     4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes Shorts(std::initializer_list<int16_t> v) {
  Bytes b;
  for (int16_t s : v) {
    Le(b, static_cast<uint16_t>(s), 2);
  }
  return b;
}

Bytes Floats(std::initializer_list<float> v) {
  Bytes b(v.size() * 4);
  std::memcpy(b.data(), std::data(v), b.size());
  return b;
}

// Standard input stand-in: a temporary file holding `bytes`, rewound.
class Feed {
 public:
  explicit Feed(const Bytes& bytes) : file_(std::tmpfile()) {
    if (!bytes.empty()) {
      std::fwrite(bytes.data(), 1, bytes.size(), file_);
    }
    std::fflush(file_);
    ::lseek(fd(), 0, SEEK_SET);
  }
  ~Feed() { std::fclose(file_); }
  int fd() const { return ::fileno(file_); }

 private:
  std::FILE* file_;
};

struct ReadCase {
  const char* name;
  RawSample type;
  Bytes input;
  int32_t rate;                 // expected rate (raw: the one given)
  std::vector<double> values;   // expected values, read in pieces of 2
  const char* error = nullptr;  // or a piece of the expected error
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// The whole stream, read through Read or ReadValues in pieces of `piece` samples, until the
// end or an error.
template <typename Sample>
std::vector<Sample> ReadAll(const ReadCase& c, size_t piece, int32_t& rate, FileError& error) {
  Feed feed(c.input);
  auto reader = OpenInputStream(feed.fd(), c.type, rate, error);
  std::vector<Sample> all;
  for (bool more = reader != nullptr; more;) {
    std::vector<Sample> part(piece);
    size_t got = 0;
    bool read = false;
    if constexpr (std::is_same_v<Sample, double>) {
      read = reader->ReadValues(part.data(), piece, got, error);
    } else {
      read = reader->Read(part.data(), piece, got, error);
    }
    if (!read) {
      break;
    }
    all.insert(all.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(got));
    more = got == piece;
  }
  return all;
}

class InputStream : public ::testing::TestWithParam<ReadCase> {};

// The values, or one French line; read as 8-bit samples (some in bulk, in other pieces), the
// same values on that scale, or the same line.
TEST_P(InputStream, ValuesOrOneFrenchLine) {
  const auto& c = GetParam();
  // Only the stream fuzzer's seeds (tests/fuzz/run.sh): every case's input, into that folder.
  if (const char* seeds = std::getenv("VELUNDA_FUZZ_SEEDS")) {
    std::ofstream(std::string(seeds) + "/" + c.name, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.input.data()),
               static_cast<std::streamsize>(c.input.size()));
    GTEST_SKIP();
  }
  FileError error;
  int32_t rate = 1234;
  const auto values = ReadAll<double>(c, 2, rate, error);
  FileError bytesError;
  int32_t bytesRate = 1234;
  const auto bytes = ReadAll<uint8_t>(c, 3, bytesRate, bytesError);
  EXPECT_EQ(bytesError.message, error.message);
  EXPECT_EQ(bytesRate, rate);
  if (error.message.empty()) {
    Bytes scaled;
    for (double v : values) {
      scaled.push_back(ToU8Scale(v));
    }
    EXPECT_EQ(bytes, scaled);
  }
  if (c.error != nullptr) {
    EXPECT_EQ(error.exitStatus, kExitIo);
    EXPECT_NE(error.message.find(c.error), std::string::npos) << error.message;
    EXPECT_EQ(error.message.find('\n'), std::string::npos);
    EXPECT_TRUE(error.message.starts_with("velunda-filtre : "));
  } else {
    EXPECT_EQ(error.message, "");
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(rate, c.rate);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, InputStream,
    ::testing::Values(
        ReadCase("RawU8", RawSample::U8, {0, 128, 192, 255}, 1234, {-1, 0, 0.5, 127 / 128.0}),
        ReadCase("RawS16", RawSample::S16, Shorts({-32768, 16384, 0}), 1234, {-1, 0.5, 0}),
        ReadCase("RawF32", RawSample::F32, Floats({0.25f, -1.5f}), 1234, {0.25, -1.5}),
        ReadCase("RawS16CutInASample", RawSample::S16, {1, 2, 3}, 0, {}, "au milieu d'un"),
        ReadCase("RawF32CutInASample", RawSample::F32, {1, 2, 3, 4, 5, 6}, 0, {}, "au milieu"),
        ReadCase("WavPcm16", RawSample::None, Wav(WavHead{}, Shorts({-32768, 16384, 8192})), 8000,
                 {-1, 0.5, 0.25}),
        ReadCase("WavPcm8StereoMixed", RawSample::None,
                 Wav(WavHead{.channels = 2, .rate = 44100, .bits = 8}, {0, 128, 255, 255, 64, 192}),
                 44100, {-0.5, 127 / 128.0, 0}),
        ReadCase("WavPcm24", RawSample::None,
                 Wav(WavHead{.rate = 48000, .bits = 24},
                     {0, 0, 0x80, 0, 0, 0x40, 0xFF, 0xFF, 0xFF}),
                 48000, {-1, 0.5, -1 / 8388608.0}),
        ReadCase("WavFloatExtensibleAfterAListChunk", RawSample::None,
                 Wav(WavHead{.tag = 0xFFFE, .bits = 32, .extraChunk = true},
                     Floats({0.125f, -0.75f})),
                 8000, {0.125, -0.75}),
        ReadCase("WavUnknownLengthReadToTheEnd", RawSample::None,
                 Wav(WavHead{.dataSize = 0x7FFFF000}, Shorts({1024, 2048, 0})), 8000,
                 {1 / 32.0, 1 / 16.0, 0}),
        ReadCase("WavStopsAtItsAnnouncedEnd", RawSample::None,
                 Wav(WavHead{.dataSize = 4}, Shorts({1024, 2048, 4096})), 8000,
                 {1 / 32.0, 1 / 16.0}),
        ReadCase("WavU8MonoOddLength", RawSample::None,
                 Wav(WavHead{.rate = 11025, .bits = 8}, {0, 64, 128, 200, 255}), 11025,
                 {-1, -0.5, 0, 0.5625, 127 / 128.0}),
        ReadCase("WavU8MonoStopsAtItsAnnouncedEnd", RawSample::None,
                 Wav(WavHead{.bits = 8, .dataSize = 4}, {0, 64, 128, 200, 255}), 8000,
                 {-1, -0.5, 0, 0.5625}),
        ReadCase("WavU8MonoUnknownLength", RawSample::None,
                 Wav(WavHead{.bits = 8, .dataSize = 0}, {255, 0, 192, 1}), 8000,
                 {127 / 128.0, -1, 0.5, -127 / 128.0}),
        ReadCase("WavU8MonoShorterThanAnnounced", RawSample::None,
                 Wav(WavHead{.bits = 8, .dataSize = 7}, {1, 2, 3, 4, 5}), 0, {},
                 "(7 octets annoncés, 5 reçus)"),
        ReadCase("NotWav", RawSample::None, Bytes(40, 'x'), 0, {}, "n'est pas un flux WAV"),
        ReadCase("EmptyInput", RawSample::None, {}, 0, {}, "n'est pas un flux WAV"),
        ReadCase("BlockAlignLies", RawSample::None, Wav(WavHead{.blockAlign = 4}, Shorts({1})), 0,
                 {}, "trames de 4 octets pour 1 voie(s) de 16 bits"),
        ReadCase("ByteRateLies", RawSample::None, Wav(WavHead{.byteRate = 16000 * 3}, Shorts({1})),
                 0, {}, "octets par seconde"),
        ReadCase("ShorterThanAnnounced", RawSample::None,
                 Wav(WavHead{.dataSize = 1000}, Shorts({1, 2, 3})), 0, {},
                 "s'arrête avant la fin annoncée"),
        ReadCase("DataNotWholeFrames", RawSample::None,
                 Wav(WavHead{.dataSize = 5}, Shorts({1, 2, 3})), 0, {},
                 "pas un nombre entier de trames"),
        ReadCase("CutInAFrame", RawSample::None, Wav(WavHead{.dataSize = 0}, {1, 2, 3}), 0, {},
                 "au milieu d'un échantillon"),
        ReadCase("DataBeforeFormat", RawSample::None, Wav(WavHead{.withFmt = false}, Shorts({1})),
                 0, {}, "avant la description du format"),
        ReadCase("CompressedCoding", RawSample::None, Wav(WavHead{.tag = 2, .bits = 4}, {1, 2}), 0,
                 {}, "codage non pris en charge"),
        ReadCase("WavJunkOf4GiBEndsWithTheInput", RawSample::None,
                 Bytes{'R', 'I', 'F', 'F', 255, 255, 255, 255, 'W', 'A',
                       'V', 'E', 'J', 'U', 'N', 'K', 255, 255, 255, 255},
                 0, {}, "flux terminé dans un chunk de 4294967295 octets"),
        ReadCase("Wav1024ChannelsMixed", RawSample::None,
                 Wav(WavHead{.channels = 1024, .bits = 8}, Bytes(1024, 192)), 8000, {0.5}),
        ReadCase("Wav1025Channels", RawSample::None,
                 Wav(WavHead{.channels = 1025, .bits = 8}, Bytes(1025, 192)), 0, {},
                 "trop de voies sur l'entrée standard (1025 ; 1024 au plus)"),
        ReadCase("NoChannel", RawSample::None, Wav(WavHead{.channels = 0}, {}), 0, {}, "0 voie(s)"),
        ReadCase("RateZero", RawSample::None, Wav(WavHead{.rate = 0}, {}), 0, {}, "à 0 Hz")),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes a writer sends, read back from its file.
Bytes Written(std::FILE* file) {
  std::fflush(file);
  Bytes b(static_cast<size_t>(::lseek(::fileno(file), 0, SEEK_END)));
  EXPECT_EQ(::pread(::fileno(file), b.data(), b.size(), 0), static_cast<ssize_t>(b.size()));
  return b;
}

// Each raw type and WAV streams. A WAV stream's sizes are put right once written to a file,
// unless it is appended to or its data passed what they can say (then stderr says so once).
TEST(OutputStream, RawTypesAndWavStreams) {
  const uint8_t u8[] = {0, 128, 255};
  const double values[] = {-0.5, 0.25, 2.0};
  struct Case {
    const char* name;
    RawSample type;
    OutputWidth width;
    std::optional<WavHead> wav;  // the header expected first, when the output is a WAV stream
    Bytes data;
    bool append = false;  // the output opened with O_APPEND
    uint64_t limit = kWavDataLimit;
  };
  const Case cases[] = {
      Case("u8", RawSample::U8, OutputWidth::U8, {}, {0, 128, 255, 64, 160, 255}),
      Case("s16", RawSample::S16, OutputWidth::U8, {},
           Shorts({-32768, 0, 127 * 256, -16384, 8192, 32767})),
      Case("f32", RawSample::F32, OutputWidth::Pcm16, {},
           Floats({-1, 0, 127 / 128.0f, -0.5, 0.25, 2})),
      Case("WavU8", RawSample::None, OutputWidth::U8, WavHead{.rate = 6250, .bits = 8},
           {0, 128, 255, 64, 160, 255}),
      Case("WavPcm16", RawSample::None, OutputWidth::Pcm16, WavHead{.rate = 44100},
           Shorts({-32768, 0, 127 * 256, -16384, 8192, 32767})),
      Case("WavAppended", RawSample::None, OutputWidth::U8,
           WavHead{.bits = 8, .dataSize = kWavUnknownSize}, {0, 128, 255, 64, 160, 255}, true),
      Case("WavPastItsLimit", RawSample::None, OutputWidth::U8,
           WavHead{.bits = 8, .dataSize = kWavUnknownSize}, {0, 128, 255, 64, 160, 255}, false, 2),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* file = std::tmpfile();
    if (c.append) {
      ::fcntl(::fileno(file), F_SETFL, O_APPEND);
    }
    FileError error;
    const int32_t rate = c.wav ? static_cast<int32_t>(c.wav->rate) : 44100;
    ::testing::internal::CaptureStderr();
    auto writer = OpenOutputStream(::fileno(file), c.type, rate, c.width, error, c.limit);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Write(u8, 3, error));
    ASSERT_TRUE(writer->WriteValues(values, 3, error));
    ASSERT_TRUE(writer->Commit(error));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
              c.limit < c.data.size() ? WavStreamTooLongNotice("la sortie standard") + "\n" : "");
    Bytes expected = c.data;
    if (c.wav) {
      expected = Wav(*c.wav, c.data);
      // The RIFF size: put right at the end, else sox's "unknown" (data kWavUnknownSize).
      const bool fixed = !c.append && c.limit >= c.data.size();
      const uint32_t riff = 36 + (fixed ? static_cast<uint32_t>(c.data.size()) : kWavUnknownSize);
      for (size_t i = 0; i < 4; ++i) {
        expected[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
      }
    }
    EXPECT_EQ(Written(file), expected);
    std::fclose(file);
  }
}

// A reader that goes away ends the stream quietly: status 0, no message.
TEST(OutputStream, ClosedPipeStopsQuietly) {
  StopStreamOnSignals signals;  // SIGPIPE becomes EPIPE
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  FileError error;
  auto writer = OpenOutputStream(fds[1], RawSample::S16, 8000, OutputWidth::U8, error);
  const uint8_t block[4] = {1, 2, 3, 4};
  EXPECT_FALSE(writer->Write(block, 4, error));
  EXPECT_EQ(error.exitStatus, kExitOk);
  EXPECT_EQ(error.message, "");
  ::close(fds[1]);
}

// Values reach 8-bit files rounded to the nearest byte, as they reach 8-bit streams: -0.3 is
// 89.6, so 90 (not 89, which 16 bits cut down to 8 would give).
TEST(OutputFile, EightBitFilesRoundValues) {
  const double values[] = {-0.3, 0.3, -1.0, 2.0};
  const Bytes expected = {90, 166, 0, 255};
  const common::TempDir dir;
  for (const char* name : {"out.wav", "out.u8"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.P(name);
    FileError error;
    auto writer = AudioWriter::Open(path, 8000, error);
    ASSERT_TRUE(writer) << error.message;
    ASSERT_TRUE(writer->WriteValues(values, 4, error));
    ASSERT_TRUE(writer->Commit(error));
    const Bytes file = common::ReadBytes(path);
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), expected);
  }
}

// A .wav known to fit its header's sizes is plain WAV, byte for byte as before; one known not
// to is RF64; one of unknown length is RF64 turned back into WAV as it stays small. More data
// than a plain WAV's header can say fails rather than leave a header that lies. (The limit is
// brought down from 4 GiB to 1000 bytes.)
TEST(OutputFile, WavOrRf64ByLength) {
  const common::TempDir dir;
  const std::string path = dir.P("out.wav");
  const Bytes samples(2000, 77);
  const struct {
    const char* name;
    std::optional<int64_t> length;
    size_t written;
    const char* head;  // its first chunk ids, RIFF or RF64 then fmt, ds64 or JUNK; "": fails
  } cases[] = {
      {"KnownToFit", 100, 100, "RIFFfmt "},
      {"KnownNotToFit", 2000, 2000, "RF64ds64"},
      {"Unknown", std::nullopt, 100, "RIFFJUNK"},  // JUNK: where ds64 would have gone
      {"MoreThanAnnounced", 100, 2000, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path);
    FileError error;
    auto writer = AudioWriter::Open(path, 8000, error, OutputWidth::U8, c.length, 1000);
    ASSERT_TRUE(writer) << error.message;
    const bool done = writer->Write(samples.data(), c.written, error) && writer->Commit(error);
    ASSERT_EQ(done, *c.head != '\0') << error.message;
    if (!done) {
      EXPECT_NE(error.message.find("4 Gio"), std::string::npos) << error.message;
      EXPECT_FALSE(std::filesystem::exists(path));
      continue;
    }
    const Bytes file = common::ReadBytes(path);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4) +
                  std::string(file.begin() + 12, file.begin() + 16),
              c.head);
    if (c.length && *c.length == 100) {
      EXPECT_EQ(file, common::WavU8Image(Bytes(samples.begin(), samples.begin() + 100), 8000));
    }
    SF_INFO info{};
    Bytes back;
    EXPECT_TRUE(common::ReadRecordingU8(path, back, info));
    EXPECT_EQ(back, Bytes(samples.begin(), samples.begin() + static_cast<long>(c.written)));
  }
}

// Every errno an output commonly meets has a French reason, not a number.
TEST(OutputFile, CommonErrnosHaveFrenchReasons) {
  for (int err :
       {ESPIPE, EPIPE, ENXIO, ELOOP, EROFS, EDQUOT, EFBIG, ETXTBSY, ENODEV, EAGAIN, EINVAL, ENOMEM,
        EMFILE, EEXIST, EXDEV, EOPNOTSUPP, ESTALE, ECONNRESET, ENAMETOOLONG}) {
    EXPECT_EQ(FileErrorReason(err).find("n°"), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace velunda
