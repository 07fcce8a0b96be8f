#include "audio_io/virtual_card_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "audio_io/audio_file.hpp"
#include "common/wav.hpp"

namespace velunda {
namespace {

using common::Bytes;
using common::Noise;

// A case's own directory, its files by name.
class InDir : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.P(name); }
  Bytes ReadBytes(const std::string& name) const { return common::ReadBytes(Path(name)); }
  common::TempDir dir_;
};

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A WAV header's 32-bit sizes are exact up to the limit and no further: past it, RF64.
TEST(SpeakerHeader, AWavHeaderHoldsItsSizesUpToTheLimit) {
  for (const uint64_t data : {uint64_t{0}, uint64_t{7}, kWavDataLimit, kWavDataLimit + 1}) {
    const Bytes h = SpeakerHeader(data, 8000, false);
    const bool exact = Le32(h, 4) == 36 + data + (data & 1) && Le32(h, 40) == data;
    EXPECT_EQ(exact, data <= kWavDataLimit) << data;
  }
}

struct Output {
  int32_t rate;
  size_t samples;      // played in uneven pieces
  long sizeLimit = 0;  // > 0: writes past that many bytes of a file fail, as on a full disk
};

struct SpeakerRow {
  const char* name;
  std::vector<const char*> files;  // in the order the rates are first played
  std::vector<Output> outputs;
  uint64_t wavLimit = kWavDataLimit;
  friend void PrintTo(const SpeakerRow& row, std::ostream* os) { *os << row.name; }
};

class SpeakerFilesTest : public InDir, public ::testing::WithParamInterface<SpeakerRow> {};

// After every close, each rate's file holds exactly what was recorded at that rate, as a WAV
// (today's bytes) or past the limit as RF64; a failed close leaves the file as the last close
// left it (the old file before the first), and nothing else is ever in the directory.
TEST_P(SpeakerFilesTest, EachRateItsFileCompleteAfterEveryClose) {
  const SpeakerRow& row = GetParam();
  common::WriteFile(Path(row.files[0]), "OLD");
  SpeakerFiles files(Path(row.files[0]), row.wavLimit);
  std::vector<std::pair<int32_t, Bytes>> recorded;  // by rate, in the order of the files
  uint32_t seed = 1;
  for (const Output& o : row.outputs) {
    const Bytes samples = Noise(o.samples, seed++);
    files.Open(o.rate);
    for (size_t at = 0; at < samples.size(); at += 4999) {
      files.Play(samples.data() + at, std::min<size_t>(4999, samples.size() - at));
    }
    const int err = common::WithFileSizeLimit(o.sizeLimit, [&] { return files.Close(); });
    EXPECT_EQ(err, o.sizeLimit > 0 ? EFBIG : 0);
    auto it = std::find_if(recorded.begin(), recorded.end(),
                           [&](const auto& r) { return r.first == o.rate; });
    if (it == recorded.end() && o.samples > 0) {
      it = recorded.insert(recorded.end(), {o.rate, {}});
    }
    if (err == 0 && o.samples > 0) {
      it->second.insert(it->second.end(), samples.begin(), samples.end());
    }
    if (err != 0) {
      EXPECT_EQ(files.FailedPath(), Path(row.files[static_cast<size_t>(it - recorded.begin())]));
    }
    std::set<std::string> names = {row.files[0]};
    for (size_t k = 0; k < recorded.size(); ++k) {
      const auto& [rate, data] = recorded[k];
      SCOPED_TRACE(std::string(row.files[k]) + " after output " + std::to_string(seed - 1));
      if (data.empty()) {
        EXPECT_EQ(ReadBytes(row.files[k]), k == 0 ? Bytes({'O', 'L', 'D'}) : Bytes());
        continue;
      }
      names.insert(row.files[k]);
      if (data.size() <= row.wavLimit) {
        EXPECT_EQ(ReadBytes(row.files[k]), common::WavU8Image(data, rate));
        continue;
      }
      Bytes back;
      SF_INFO info;
      ASSERT_TRUE(common::ReadRecordingU8(Path(row.files[k]), back, info));
      EXPECT_EQ(info.format, SF_FORMAT_RF64 | SF_FORMAT_PCM_U8);
      EXPECT_EQ(info.samplerate, rate);
      EXPECT_EQ(back, data);
      EXPECT_EQ(ReadBytes(row.files[k]).size(), 80 + data.size() + (data.size() & 1));
    }
    EXPECT_EQ(dir_.Listing(), names);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, SpeakerFilesTest,
    ::testing::Values(
        SpeakerRow("OneRateOneFile", {"SORTIE.wav"}, {{8000, 5}, {8000, 40000}, {8000, 3}}),
        // The window's low-pass, then its BFO, then the low-pass again.
        SpeakerRow("EachRateItsOwnFile", {"SORTIE.wav", "SORTIE-2.wav", "SORTIE-3.wav"},
                   {{8000, 48904}, {6250, 37501}, {8000, 1001}, {11025, 7}}),
        SpeakerRow("OutputsThatPlayNothing", {"enregistrement", "enregistrement-2"},
                   {{11025, 0}, {8000, 9}, {6250, 0}, {6250, 4}}),
        SpeakerRow("FailedClosesKeepTheLastFile", {"SORTIE.wav", "SORTIE-2.wav"},
                   {{8000, 100, 50},
                    {8000, 101},
                    {6250, 10, 30},
                    {8000, 50000, 20000},
                    {8000, 3},
                    {6250, 5}}),
        // A WAV up to the limit; converted on the close that passes it, then continued; a
        // conversion that fails keeps the WAV.
        SpeakerRow("Rf64PastTheLimit", {"SORTIE.wav", "SORTIE-2.wav"},
                   {{8000, 60}, {8000, 40}, {8000, 1, 160}, {8000, 1}, {8000, 30}, {6250, 150}},
                   100)),
    [](const auto& info) { return std::string(info.param.name); });

// The line input plays the recording as offline mode reads it, looped, through reads and skips
// of any size: chunk ends, loop ends and skips of several loops.
class LineRecording : public InDir, public ::testing::WithParamInterface<const char*> {};

TEST_P(LineRecording, LoopsWhatOfflineModeReads) {
  const std::string name = GetParam();
  const Bytes samples = Noise(name == "empty.wav" ? 0 : 10001, 5);
  if (name == "stereo16.wav") {
    std::vector<short> frames;
    for (uint8_t s : samples) {
      frames.insert(frames.end(), {static_cast<short>((s - 128) * 256 + 77), short{-300}});
    }
    SF_INFO info{0, 8000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(Path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_short(f, frames.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
  } else if (name == "in.u8") {
    common::WriteFile(Path(name), std::string(samples.begin(), samples.end()));
  } else {
    ASSERT_TRUE(common::WriteWavU8(Path(name), samples, 8000));
  }
  FileError fileError;
  int32_t rate = 6250;
  auto reader = AudioReader::OpenAtFileRate(Path(name), rate, fileError);
  ASSERT_TRUE(reader);
  Bytes expected(samples.size() + 1);
  size_t got = 0;
  ASSERT_TRUE(reader->Read(expected.data(), expected.size(), got, fileError));
  expected.resize(got);

  std::string error;
  rate = 6250;
  const auto loop = OpenLineRecording(Path(name), rate, error);
  ASSERT_TRUE(loop) << error;
  EXPECT_EQ(rate, name == "in.u8" ? 6250 : 8000);
  uint64_t at = 0;
  for (const int64_t step : {1, 4095, -3, 20007, -30020, 9000, 4096}) {
    if (step < 0) {
      loop->Skip(static_cast<uint64_t>(-step));
      at += static_cast<uint64_t>(-step);
      continue;
    }
    Bytes out(static_cast<size_t>(step));
    loop->Read(out.data(), out.size());
    for (size_t i = 0; i < out.size(); ++i, ++at) {
      ASSERT_EQ(out[i], expected.empty() ? 128 : expected[at % expected.size()]) << "sample " << at;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Recordings, LineRecording,
                         ::testing::Values("in.wav", "in.u8", "stereo16.wav", "empty.wav"),
                         [](const auto& info) {
                           std::string n = info.param;
                           std::replace(n.begin(), n.end(), '.', '_');
                           return n;
                         });

}  // namespace
}  // namespace velunda
