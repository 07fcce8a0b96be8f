#include "platform/virtual/wav_u8.hpp"

#include <sndfile.h>

namespace velunda {

bool ReadRecordingU8(const std::string& path, std::vector<uint8_t>& samples, int32_t& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return false;
  }
  std::vector<short> frame(static_cast<size_t>(info.channels));
  samples.clear();
  // 16-bit reads give (u - 128) << 8 for an 8-bit file, so bytes come back exactly.
  while (sf_readf_short(file, frame.data(), 1) == 1) {
    samples.push_back(static_cast<uint8_t>((frame[0] >> 8) + 128));
  }
  rate = info.samplerate;
  sf_close(file);
  return true;
}

bool WriteWavU8(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    return false;
  }
  std::vector<short> wide(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    wide[i] = static_cast<short>((samples[i] - 128) * 256);
  }
  const sf_count_t written =
      sf_writef_short(file, wide.data(), static_cast<sf_count_t>(wide.size()));
  sf_close(file);
  return written == static_cast<sf_count_t>(wide.size());
}

}  // namespace velunda
