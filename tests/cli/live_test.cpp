#include "cli/live.hpp"

#include <sndfile.h>

#include "audio_io/audio_file.hpp"
#include "cli/test_support.hpp"
#include "engine/tests_carte_son.hpp"

namespace velunda {
namespace {

using testing::Bytes;
using testing::ReadRecordingU8;

class LiveRun : public testing::WorkDir {};

// The virtual card in real time, filter at "sans": the loudspeaker plays two silent blocks,
// then the line input byte for byte, from wherever the card tests left the looped recording.
// A 16-bit stereo recording must give the bytes offline mode reads from it.
TEST_F(LiveRun, VirtualCardPlaysTwoSilentBlocksThenTheInput) {
  const Bytes left = testing::Noise(1001, 7), right = testing::Noise(1001, 8);
  std::vector<short> frames;
  for (size_t i = 0; i < left.size(); ++i) {
    frames.push_back(static_cast<short>((left[i] - 128) * 256 + 127));
    frames.push_back(static_cast<short>((right[i] - 128) * 256));
  }
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(Path("in.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(sf_writef_short(f, frames.data(), static_cast<sf_count_t>(left.size())),
            static_cast<sf_count_t>(left.size()));
  sf_close(f);
  FileError error;
  auto reader = AudioReader::Open(Path("in.wav"), 8000, error);
  ASSERT_TRUE(reader) << error.message;
  Bytes input(left.size());
  size_t got = 0;
  ASSERT_TRUE(reader->Read(input.data(), input.size(), got, error));
  ASSERT_EQ(got, input.size());
  const auto r = Run("PASSEBAS --coupure sans --carte virtuelle:in.wav:out.wav --duree 1.5");
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes out;
  ASSERT_TRUE(ReadRecordingU8(Path("out.wav"), out, info));
  EXPECT_EQ(info.samplerate, 8000);
  constexpr size_t kSilent = 2 * 2666;
  ASSERT_GT(out.size(), kSilent + 2 * input.size());  // the recording loops at least twice
  EXPECT_EQ(Bytes(out.begin(), out.begin() + kSilent), Bytes(kSilent, 128));
  // Where in the loop the session's capture began: the 16 bytes that follow fix it.
  size_t offset = input.size();
  for (size_t k = 0; k < input.size() && offset == input.size(); ++k) {
    bool same = true;
    for (size_t i = 0; i < 16 && same; ++i) {
      same = out[kSilent + i] == input[(k + i) % input.size()];
    }
    offset = same ? k : offset;
  }
  ASSERT_LT(offset, input.size());
  for (size_t i = kSilent; i < out.size(); ++i) {
    ASSERT_EQ(out[i], input[(offset + i - kSilent) % input.size()]) << "sample " << i;
  }
}

}  // namespace
}  // namespace velunda
