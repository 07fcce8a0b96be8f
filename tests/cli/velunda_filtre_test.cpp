// End-to-end runs of the built velunda-filtre on small files.
#include <sndfile.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "cli/test_support.hpp"
#include "common/reference_filters.hpp"
#include "common/signals.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"

namespace velunda {
namespace {

using testing::Bytes;
using testing::WavU8Image;
using testing::WorkDir;
using testing::WriteWavU8;

class VelundaFiltre : public WorkDir {};

// A WAV of any libsndfile subtype; `fill` writes the frames.
void WriteWav(const std::string& path, int format, int channels,
              const std::function<void(SNDFILE*)>& fill) {
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  fill(f);
  sf_close(f);
}

// The data bytes of an unsigned 8-bit mono WAV at `rate`, checking its header on the way.
Bytes ReadU8Wav(const std::string& path, int rate) {
  Bytes bytes;
  SF_INFO info;
  EXPECT_TRUE(testing::ReadRecordingU8(path, bytes, info) &&
              info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) && info.channels == 1 &&
              info.samplerate == rate)
      << path << " " << std::hex << info.format << " " << std::dec << info.samplerate;
  return bytes;
}

// A tone around the middle of the byte range.
Bytes Tone(double hz, double amplitude, int32_t rate, size_t n) {
  return common::Tone(hz, rate, n, amplitude, 127.5);
}

// Noise whose first samples run through every byte value in order.
Bytes Signal(size_t n) {
  Bytes s = testing::Noise(n, 11);
  for (size_t i = 0; i < 256 && i < n; ++i) {
    s[i] = static_cast<uint8_t>(i);
  }
  return s;
}

// The output equals the filter prepared independently and run in process in the program's
// blocks (a third of a second; 2048 samples for the BFO and the rejector), the last block
// shorter, the BFO's padded with silence up to a whole transform block. Without a filter
// (bypass, reducer off) every byte comes out as it went in, whatever the containers.
using common::BandPass;
using common::Bfo;
using common::LowPass;
using common::Notch;
using common::Prepare;
using common::Reducer;

struct FilterCase {
  const char* name;
  const char* args;  // ending with the input and output files
  int32_t rate;
  size_t length;
  Prepare prepare = {};  // none: the output is the input
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

Bytes Reference(const FilterCase& c, const Bytes& input) {
  auto d = std::make_unique<DspState>();
  d->SampleRate = c.rate;
  c.prepare(*d);
  const bool bfo = d->FilterKind == "BFO_NUMERIQUE";
  const size_t block = bfo || d->FilterKind == "REJECTEUR_PAR_TFD" ? 2048 : c.rate / 3;
  const size_t sub = bfo ? 1024 : 1;
  Bytes padded = input;
  padded.resize(input.size() + block, 128);
  Bytes out(padded.size());
  for (size_t at = 0; at < input.size(); at += block) {
    const size_t n = std::min(block, input.size() - at);
    d->BlockLength = static_cast<int32_t>((n + sub - 1) / sub * sub);
    ProcessBlock(*d, padded.data() + at, out.data() + at);
  }
  out.resize(input.size());
  return out;
}

class Filtering : public VelundaFiltre, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(Filtering, OutputEqualsInProcessRun) {
  const FilterCase& c = GetParam();
  std::istringstream files(std::string(c.args).substr(std::string(c.args).find(" @")));
  std::string in, out;
  files >> in >> out;
  in.erase(0, 1);
  out.erase(0, 1);
  const Bytes input = Signal(c.length);
  if (in.ends_with(".u8")) {
    WriteBytes(in, input);
  } else {
    ASSERT_TRUE(WriteWavU8(Path(in), input, c.rate));
  }
  const auto r = Run(c.args);
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes output = out.ends_with(".wav") ? ReadU8Wav(Path(out), c.rate) : ReadBytes(out);
  if (c.prepare) {
    EXPECT_EQ(output, Reference(c, input));
    EXPECT_NE(output, input);
  } else {
    EXPECT_EQ(output, input);
  }
  EXPECT_EQ(Listing(), (std::set<std::string>{in, out}));
}

constexpr size_t kLength = 2666 * 2 + 777;

INSTANTIATE_TEST_SUITE_P(
    Filters, Filtering,
    ::testing::Values(
        FilterCase{"BypassWavToHeaderless", "PASSEBAS --coupure sans @in.WAV @out.raw", 8000,
                   kLength},
        FilterCase{"BandPassBypass11025", "PASSEBANDE --centre sans --fe 11025 @in.u8 @out.wav",
                   11025, kLength},
        FilterCase{"GeneralOff", "REDUCTEUR_GENERAL --reduction sans @in.u8 @out.u8", 8000,
                   kLength},
        FilterCase{"CwOff", "REDUCTEUR_CW --mode sans @in.u8 @out.u8", 8000, kLength},
        FilterCase{"LowPassPartialLastBlock",
                   "PASSEBAS --coupure 700 --coefficients 64 @in.u8 @out.u8", 8000, 2666 * 2 + 1001,
                   LowPass(700, 64)},
        FilterCase{"LowPass11025ShorterThanABlock",
                   "PASSEBAS --fe 11025 --coupure 3000 --coefficients 1000 @in.u8 @out.u8", 11025,
                   500, LowPass(3000, 1000)},
        FilterCase{"BandPassWholeBlocks",
                   "PASSEBANDE --centre 1000 --largeur 500 --coefficients 100 @in.u8 @out.u8", 8000,
                   2666 * 3, BandPass(1000, 500, 100)},
        FilterCase{"BfoShiftUpPaddedLastBlock", "BFO_NUMERIQUE --decalage 10 @in.u8 @out.u8", 6250,
                   2048 * 2 + 100, Bfo(10, false)},
        FilterCase{"BfoInvertedOddSubBlockToWav",
                   "BFO_NUMERIQUE --inversion --decalage -5 @in.u8 @out.wav", 6250, 2048 + 1024 + 3,
                   Bfo(-5, true)},
        FilterCase{"Bfo8000ShorterThanASubBlock",
                   "bfo_numerique --fe 8000 --decalage -129 @in.u8 @out.u8", 8000, 700,
                   Bfo(-129, false)},
        FilterCase{"RejectorNarrow11025",
                   "REJECTEUR_PAR_TFD --fe 11025 --etroite --frequence 700 --coefficients 300 "
                   "--diviseur 2 @in.u8 @out.u8",
                   11025, 11025 * 2 + 777, Notch(700, 0, 0, 1001, 300, 2)},
        FilterCase{"RejectorAutomatic",
                   "REJECTEUR_PAR_TFD --auto --seuil tres-bas --coefficients 600 --diviseur 4 "
                   "@in.u8 @out.u8",
                   8000, kLength, Notch(1000, 1, 1, 101, 600, 4)},
        FilterCase{"GeneralStrong11025",
                   "REDUCTEUR_GENERAL --reduction forte --fe 11025 @in.u8 @out.u8", 11025,
                   11025 * 2 + 777, Reducer("REDUCTEUR_GENERAL", 1)},
        FilterCase{"Rtty11025", "REDUCTEUR_CW --mode rtty --fe 11025 @in.u8 @out.u8", 11025,
                   11025 * 2 + 777, Reducer("REDUCTEUR_CW", 1)}),
    [](const auto& info) { return std::string(info.param.name); });

// Unsigned 8-bit mono WAV files whose header and data do not simply agree, filter off: the
// samples the header's data chunk holds come out. (Streams: the stream parser's own tests.)
TEST_F(VelundaFiltre, UnsignedWavChunksPassThroughByteForByte) {
  const auto le32 = [](Bytes& b, size_t at, size_t v) {
    for (int i = 0; i < 4; ++i) {
      b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
  };
  const struct {
    const char* name;
    size_t length;  // samples written
    std::function<void(Bytes&)> change;
    size_t kept;  // samples expected out
  } cases[] = {
      {"OddLengthThenAListChunk", 2666 * 2 + 777,
       [&](Bytes& b) {
         b.insert(b.end(), {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'});
         le32(b, 4, b.size() - 8);
       },
       2666 * 2 + 777},
      {"HeaderAnnouncesMoreThanThere", 2666 * 2 + 778, [&](Bytes& b) { le32(b, 40, 100000); },
       2666 * 2 + 778},
      {"HeaderAnnouncesLessThanThere", 2666 * 2 + 778, [&](Bytes& b) { le32(b, 40, 2666 * 2 + 1); },
       2666 * 2 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes samples = Signal(c.length);
    Bytes image = WavU8Image(samples, 8000);
    c.change(image);
    WriteBytes("in.wav", image);
    const auto r = Run("PASSEBAS --coupure sans @in.wav @out.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadU8Wav(Path("out.wav"), 8000),
              Bytes(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(c.kept)));
  }
}

// --auto: one line per decision on stdout (on stderr when the audio goes there), timed at the
// sample it was taken on (the last of every second transform block), counted from the start.
TEST_F(VelundaFiltre, AutomaticRejectorReportsEachDecision) {
  const struct {
    const char* args;
    Bytes input;
    std::string lines;
  } cases[] = {
      {"REJECTEUR_PAR_TFD --auto --coefficients 1000 --diviseur 1 @in.u8 @out.u8",
       Tone(1230.0, 80.0, 8000, 12000), "0.512 Trouvé 1250\n1.024 Trouvé 1250\n"},
      {"REJECTEUR_PAR_TFD --auto --coefficients 1000 --diviseur 1 --brut u8 - -",
       Tone(1230.0, 80.0, 8000, 12000), "0.512 Trouvé 1250\n1.024 Trouvé 1250\n"},
      {"REJECTEUR_PAR_TFD --auto --seuil tres-haut --diviseur 2 --frequence 2000 @in.u8 @out.u8",
       Tone(1230.0, 10.0, 8000, 4200), "0.256 Echec 2000\n0.512 Echec 2000\n"},
      {"REJECTEUR_PAR_TFD --auto --fe 11025 --diviseur 1 --seuil 101 @in.u8 @out.u8",
       Bytes(4096, 128), "0.371 Echec 1000\n"},
      {"REJECTEUR_PAR_TFD --coefficients 100 --diviseur 1 @in.u8 @out.u8",
       Tone(1230.0, 80.0, 8000, 9000), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    WriteBytes("in.u8", c.input);
    const auto r = Run(c.args, 0, "in.u8");
    ASSERT_EQ(r.status, 0) << r.err;
    if (std::string(c.args).ends_with(" -")) {
      EXPECT_EQ(r.out.size(), c.input.size());
      EXPECT_NE(r.err.find(c.lines), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("résultat sur la sortie standard"), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.out, c.lines);  // the summary goes to stderr
    }
  }
}

// Inputs other than unsigned 8-bit mono: mixed down and brought to the 8-bit scale (nearest of
// 128 + 128 x, ties to even, clamped).
TEST_F(VelundaFiltre, WiderInputsAreConvertedByTheDocumentedRule) {
  WriteWav(Path("pcm16.wav"), SF_FORMAT_PCM_16, 1, [](SNDFILE* f) {
    const short v[] = {-32768, -32767, -129, -128, 0, 128, 383, 384, 640, 32767};
    sf_write_short(f, v, 10);
  });
  WriteWav(Path("float.wav"), SF_FORMAT_FLOAT, 1, [](SNDFILE* f) {
    const float v[] = {-2.0f, -1.0f, -0.5f, 0.5f, 0.99f, 1.5f};
    sf_write_float(f, v, 6);
  });
  WriteWav(Path("stereo.wav"), SF_FORMAT_PCM_U8, 2, [](SNDFILE* f) {
    const short v[] = {(0 - 128) * 256,  (255 - 128) * 256, (10 - 128) * 256, (20 - 128) * 256,
                       (10 - 128) * 256, (21 - 128) * 256,  (11 - 128) * 256, (20 - 128) * 256};
    sf_writef_short(f, v, 4);
  });
  const std::pair<const char*, Bytes> cases[] = {
      {"pcm16.wav", {0, 0, 127, 128, 128, 128, 129, 130, 130, 255}},
      {"float.wav", {0, 0, 64, 192, 255, 255}},
      {"stereo.wav", {128, 15, 16, 16}},
  };
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    const auto r = Run(std::string("PASSEBAS --coupure sans @") + name + " @out.u8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes("out.u8"), expected);
  }
}

// Failures: the right status, one French line (followed for a command-line mistake by the
// pointer to --aide), nothing left behind and an existing output kept as it was. (Which
// command lines are refused, and why, is the option parser's, tested with it.)
struct FailureCase {
  const char* name;
  const char* args;  // "@x" is the work directory's file x
  int status;
  const char* message;
  long fileSizeLimit = 0;
  const char* stdinName = "";   // the work directory's file on standard input
  const char* after = nullptr;  // what follows the message, when not the usage hint
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class Failures : public VelundaFiltre, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, ExitStatusMessageAndNoOutput) {
  const FailureCase& c = GetParam();
  WriteBytes("in.u8", Signal(20000));
  ASSERT_TRUE(WriteWavU8(Path("in.wav"), Signal(20000), 8000));
  ASSERT_TRUE(WriteWavU8(Path("in20.wav"), Signal(100), 20));
  WriteBytes("garbage.wav", Bytes(300, 'x'));
  WriteBytes("old.wav", Bytes{'O', 'L', 'D'});
  WriteBytes("cut.s16", Bytes(2 * 3000 + 1, 1));
  Bytes wide = ReadBytes("in.wav");
  WriteBytes("nodata.wav", Bytes(wide.begin(), wide.begin() + 36));
  wide[22] = 0x01, wide[23] = 0x04;  // 1025 channels
  WriteBytes("wide.wav", wide);
  std::filesystem::create_directory(Path("dossier"));
  std::filesystem::create_symlink("in.wav", Path("alias.wav"));
  std::filesystem::create_symlink("old.wav", Path("foreign.wav"));
  ASSERT_EQ(::lchown(Path("foreign.wav").c_str(), 65534, 65534), 0);  // another user's link
  SF_INFO mp3{0, 16000, 1, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 0, 0};
  SNDFILE* f = sf_open(Path("damaged.mp3").c_str(), SFM_WRITE, &mp3);
  ASSERT_NE(f, nullptr);
  std::vector<short> saw(8000);
  for (size_t i = 0; i < saw.size(); ++i) {
    saw[i] = static_cast<short>(i * 37 % 20000) - 10000;
  }
  sf_write_short(f, saw.data(), 8000);
  sf_close(f);
  std::filesystem::resize_file(Path("damaged.mp3"), 300);  // its announced length now lies
  const auto before = Listing();

  const auto r = Run(c.args, c.fileSizeLimit, c.stdinName);
  EXPECT_EQ(r.status, c.status);
  const std::string first = r.err.substr(0, r.err.find('\n') + 1);
  EXPECT_NE(first.find(c.message), std::string::npos) << r.err;
  // The program's own lines carry its name; a message box's text stands alone.
  EXPECT_TRUE(first.starts_with("velunda-filtre : ") || first.starts_with(c.message)) << r.err;
  const std::string rest = r.err.substr(first.size());
  if (*c.args != '\0') {  // without arguments the whole usage follows
    EXPECT_TRUE(c.after != nullptr
                    ? rest == c.after
                    : rest.empty() || rest == "velunda-filtre --aide donne la liste des options.\n")
        << r.err;
  }
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(ReadBytes("old.wav"), (Bytes{'O', 'L', 'D'}));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Failures,
    ::testing::Values(
        FailureCase{"UnknownOption", "PASSEBAS --vite @in.wav @out.wav", 2,
                    "option inconnue : --vite"},
        FailureCase{"MissingInput", "PASSEBAS @absent.wav @out.wav", 1, "introuvable"},
        FailureCase{"InputIsADirectory", "PASSEBAS @dossier @out.wav", 1, "c'est un dossier"},
        FailureCase{"NotASoundFile", "PASSEBAS @garbage.wav @out.wav", 1,
                    "format de fichier son non reconnu"},
        FailureCase{"WavWithoutData", "PASSEBAS @nodata.wav @out.wav", 1,
                    "fichier son abîmé ou illisible : "},
        FailureCase{"DamagedMp3", "PASSEBAS @damaged.mp3 @out.wav", 1,
                    "fichier son abîmé ou illisible : "},
        FailureCase{"SameFileThroughLink", "PASSEBAS --coupure sans @in.wav @alias.wav", 2,
                    "sont le même fichier"},
        FailureCase{"OutputLinkOfAnotherUser", "PASSEBAS --coefficients 10 @in.wav @foreign.wav", 1,
                    "foreign.wav : lien symbolique non suivi"},
        FailureCase{"UnknownOutputFormat", "PASSEBAS @in.wav @out.xyz", 2, "format de sortie"},
        FailureCase{"FlacCannotHoldUnsignedBytes", "PASSEBAS @in.u8 @out.flac", 2,
                    "FLAC ne prend pas d'échantillons 8 bits non signés ; ajouter --fe-sortie"},
        FailureCase{"FlacCannotHoldTheRateCheckedFirst",
                    "PASSEBAS --fe-sortie 700000 @absent.wav @out.flac", 2,
                    "out.flac ne permet pas 700000 Hz"},
        FailureCase{"OutputIsADirectory", "PASSEBAS --coefficients 10 @in.wav @dossier", 1,
                    "c'est un dossier"},
        FailureCase{"WavWriteFailsMidway", "PASSEBAS --coefficients 10 @in.wav @old.wav", 1,
                    "erreur d'écriture de ", 8000},
        FailureCase{"RawWriteFailsMidway", "PASSEBAS --coefficients 10 @in.u8 @out.u8", 1,
                    "erreur d'écriture de ", 8000},
        FailureCase{"NoSuchAlsaDevice", "PASSEBAS --carte velunda_no_such_pcm", 1,
                    "Fonctionnement impossible car il n'y a pas de carte son.", 0, "",
                    "velunda-filtre : périphérique « velunda_no_such_pcm », entrée : périphérique "
                    "inexistant\nvelunda-filtre : périphérique « velunda_no_such_pcm », sortie : "
                    "périphérique inexistant\n"},
        FailureCase{"UnknownInputDevice", "PASSEBAS --entree velunda_no_such_pcm --sortie null", 1,
                    "périphérique d'entrée inconnu : velunda_no_such_pcm (voir « arecord -L »)."},
        FailureCase{"UnknownOutputDevice", "PASSEBAS --carte null --sortie velunda_no_such_pcm", 1,
                    "périphérique de sortie inconnu : velunda_no_such_pcm (voir « aplay -L »)."},
        FailureCase{"VirtualCardAndAnOutputDevice",
                    "PASSEBAS --carte virtuelle:in.wav --sortie null", 2,
                    "la carte virtuelle se donne avec --carte seule"},
        FailureCase{"VirtualCardWithoutInput", "PASSEBAS --carte virtuelle:", 2,
                    "virtuelle:ENTREE.wav[:SORTIE.wav[:±Nppm]]"},
        FailureCase{"VirtualCardWithEmptyOutput", "PASSEBAS --carte virtuelle:in.wav:", 2,
                    "virtuelle:ENTREE.wav[:SORTIE.wav[:±Nppm]]"},
        FailureCase{"VirtualSpeakerInMissingDirectory",
                    "PASSEBAS --carte virtuelle:in.wav:absent/out.wav --duree 0.5", 1,
                    "impossible d'écrire absent/out.wav : fichier ou dossier introuvable"},
        FailureCase{"VirtualSpeakerIsADirectory",
                    "PASSEBAS --carte virtuelle:in.wav:dossier --duree 0.5", 1,
                    "impossible d'écrire dossier : c'est un dossier"},
        FailureCase{"MissingVirtualInput", "PASSEBAS --carte virtuelle:absent.wav --duree 1", 1,
                    "introuvable"},
        FailureCase{"StreamCutInASample", "PASSEBAS --brut s16 - @out.wav", 1,
                    "coupé au milieu d'un échantillon", 0, "cut.s16"},
        FailureCase{"TooManyChannels", "PASSEBAS @wide.wav @out.wav", 1, "wide.wav (1024 au plus)"},
        FailureCase{"RatioOutOfRangeIn", "PASSEBAS @in20.wav @out.wav", 2,
                    "impossible de passer de 20 à 8000 Hz (rapport de fréquences au-delà de 256)"},
        FailureCase{"RatioOutOfRangeOut", "PASSEBAS --fe-sortie 31 @in.wav @out.wav", 2,
                    "impossible de passer de 8000 à 31 Hz"},
        FailureCase{"NoArguments", "", 2, "Utilisation : velunda-filtre"}),
    [](const auto& info) { return std::string(info.param.name); });

// Signals and standard streams that go away, against the real program: the exit status, the
// message, the output (the previous one kept, or complete) and nothing else in the directory.
using testing::Stream;

struct FaultCase {
  const char* name;
  const char* args;  // the output is always @old.wav, there before the run
  Stream out = Stream::File;
  Stream err = Stream::File;
  int signal = 0;      // sent while the program waits on its FIFO input @fifo.u8
  long sizeLimit = 0;  // ulimit -f, in bytes
  int status = 0;
  const char* message = "";  // on stderr; "" when nothing is to be said
  bool complete = false;     // else the previous old.wav is kept
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class Faults : public VelundaFiltre, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, StatusMessageOutputAndNothingLeft) {
  const FaultCase& c = GetParam();
  WriteBytes("tone.u8", Tone(1230.0, 80.0, 8000, 12000));
  WriteBytes("in.u8", Signal(20000));
  ASSERT_TRUE(WriteWavU8(Path("in.wav"), Signal(20000), 8000));
  // A header announcing 2 000 000 000 samples over 1000.
  Bytes cut = WavU8Image(Signal(1000), 8000);
  cut[40] = 0x00, cut[41] = 0x94, cut[42] = 0x35, cut[43] = 0x77;
  WriteBytes("cut.wav", cut);
  Bytes cut44 = WavU8Image(Signal(20000), 44100);  // read through the resampler
  cut44[40] = 0x00, cut44[41] = 0x94, cut44[42] = 0x35, cut44[43] = 0x77;
  WriteBytes("cut44.wav", cut44);
  WriteBytes("old.wav", Bytes{'O', 'L', 'D'});
  ASSERT_EQ(::mkfifo(Path("fifo.u8").c_str(), 0600), 0);
  if (std::string(c.args).find("@long.u8") != std::string::npos) {
    WriteBytes("long.u8", Signal(8000 * 300));  // seconds of work, signalled half a second in
  }
  const auto before = Listing();

  RunSetup setup;
  setup.out = c.out;
  setup.err = c.err;
  setup.fileSizeLimit = c.sizeLimit;
  setup.signal = c.signal;
  const std::string args = c.args;
  if (args.find("@fifo.u8") != std::string::npos || args.find(" - ") != std::string::npos) {
    setup.fifo = "fifo.u8";
    setup.stdinName = args.find(" - ") != std::string::npos ? "fifo.u8" : "";
  }
  const auto r = Run(c.args, setup);
  EXPECT_EQ(r.status, c.status) << r.err;
  if (c.err == Stream::File) {
    if (*c.message == '\0') {
      EXPECT_TRUE(r.err.empty() || r.err.find("filtrés en") != std::string::npos) << r.err;
    } else {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
  }
  if (const Bytes out = ReadBytes("old.wav"); c.complete) {
    ASSERT_GT(out.size(), 1000u);
    EXPECT_EQ(out[4] | out[5] << 8 | out[6] << 16 | uint32_t{out[7]} << 24, out.size() - 8);
  } else {
    EXPECT_EQ(ReadBytes("old.wav"), (Bytes{'O', 'L', 'D'}));
  }
  EXPECT_EQ(Listing(), before);
}

constexpr const char* kAuto =
    "REJECTEUR_PAR_TFD --auto --coefficients 100 --diviseur 1 @tone.u8 @old.wav";
constexpr const char* kWaiting = "PASSEBAS --coefficients 100 @fifo.u8 @old.wav";

INSTANTIATE_TEST_SUITE_P(
    Signals, Faults,
    ::testing::Values(
        FaultCase{"StdoutReaderGone", kAuto, Stream::ReaderGone, Stream::File, 0, 0, 128 + SIGPIPE},
        FaultCase{"StdoutClosed", kAuto, Stream::Closed, Stream::File, 0, 0, 1,
                  "sortie standard : elle est fermée"},
        FaultCase{"StdoutFull", kAuto, Stream::Full, Stream::File, 0, 0, 1,
                  "sortie standard : disque plein"},
        FaultCase{"StderrReaderGoneAfterCompletion", "PASSEBAS --coefficients 10 @in.u8 @old.wav",
                  Stream::File, Stream::ReaderGone, 0, 0, 0, "", true},
        FaultCase{"StderrClosed", "PASSEBAS --coefficients 10 @in.wav @old.wav", Stream::File,
                  Stream::Closed, 0, 0, 0, "", true},
        FaultCase{"SizeLimit", "PASSEBAS --coefficients 10 @in.wav @old.wav", Stream::File,
                  Stream::File, 0, 8000, 1, "old.wav : fichier trop grand", false},
        FaultCase{"HeaderLongerThanData", "PASSEBAS --coefficients 10 @cut.wav @old.wav",
                  Stream::File, Stream::File, 0, 0, 0,
                  "cut.wav annonce 2000000000 échantillons mais n'en contient que 1000", true},
        // Audio on stdout: the same guarantees for the stream and for a 16-bit output.
        FaultCase{"AudioStdoutReaderGone", "PASSEBAS --coefficients 10 @in.wav -",
                  Stream::ReaderGone, Stream::File, 0, 0, 0},
        FaultCase{"AudioStdoutClosed", "PASSEBAS --coefficients 10 @in.wav -", Stream::Closed,
                  Stream::File, 0, 0, 1, "sortie standard : elle est fermée"},
        FaultCase{"AudioStdoutFull", "PASSEBAS --coefficients 10 @in.wav -", Stream::Full,
                  Stream::File, 0, 0, 1, "sortie standard : disque plein"},
        FaultCase{"Pcm16OutputOverSizeLimit",
                  "PASSEBAS --coefficients 10 --fe-sortie 44100 @in.wav @old.wav", Stream::File,
                  Stream::File, 0, 8000, 1, "old.wav : fichier trop grand"},
        FaultCase{"ResampledHeaderLongerThanData", "PASSEBAS --coefficients 10 @cut44.wav @old.wav",
                  Stream::File, Stream::File, 0, 0, 0,
                  "cut44.wav annonce 2000000000 échantillons mais n'en contient que 20000", true},
        FaultCase{"InputEnds", kWaiting, Stream::File, Stream::File, 0, 0, 0, "", true},
        // A recording from a FIFO or a pipe, stopped: kept, its header finished.
        FaultCase{"Sigint", kWaiting, Stream::File, Stream::File, SIGINT, 0, 128 + SIGINT, "",
                  true},
        // A regular input is no recording: cut short, nothing kept.
        FaultCase{"SigintOnRegularInput", "PASSEBAS --coefficients 1000 @long.u8 @old.wav",
                  Stream::File, Stream::File, SIGINT, 0, 128 + SIGINT},
        FaultCase{"SigintOnStdin", "PASSEBAS --coefficients 100 --brut u8 - @old.wav", Stream::File,
                  Stream::File, SIGINT, 0, 128 + SIGINT, "", true},
        // Any other signal abandons the output, as SafeFile's own tests check for each one.
        FaultCase{"Sigquit", kWaiting, Stream::File, Stream::File, SIGQUIT, 0, 128 + SIGQUIT},
        FaultCase{"Sigkill", kWaiting, Stream::File, Stream::File, SIGKILL, 0, 128 + SIGKILL},
        // Ignored during a run: a broken pipe and a size limit show at the write that meets
        // them, with their message.
        FaultCase{"SigpipeSentIgnored", kWaiting, Stream::File, Stream::File, SIGPIPE, 0, 0, "",
                  true},
        FaultCase{"SigxfszSentIgnored", kWaiting, Stream::File, Stream::File, SIGXFSZ, 0, 0, "",
                  true},
        FaultCase{"LiveStdoutReaderGone",
                  "PASSEBAS --coupure sans --carte virtuelle:in.wav:old.wav --duree 0.5",
                  Stream::ReaderGone, Stream::File, 0, 0, 0, "", true},
        FaultCase{"LiveStdoutFull",
                  "PASSEBAS --coupure sans --carte virtuelle:in.wav:old.wav --duree 0.5",
                  Stream::Full, Stream::File, 0, 0, 1, "sortie standard : disque plein", true},
        FaultCase{"LiveSpeakerOverSizeLimit",
                  "PASSEBAS --coupure sans --carte virtuelle:in.wav:old.wav --duree 0.5",
                  Stream::File, Stream::File, 0, 2000, 1,
                  "erreur d'écriture de old.wav : fichier trop grand"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velunda
