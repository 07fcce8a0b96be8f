#include "platform/virtual/wav_u8.hpp"

#include <sndfile.h>

#include <algorithm>

#include "platform/safe_file.hpp"

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

std::vector<uint8_t> WavU8Image(const std::vector<uint8_t>& samples, int32_t rate) {
  const auto size = static_cast<uint32_t>(samples.size());
  std::vector<uint8_t> out(44 + samples.size() + (size & 1), 0);  // chunks have even lengths
  const auto put = [&out](size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  const auto tag = [&out](size_t at, const char* t) {
    for (size_t i = 0; i < 4; ++i) {
      out[at + i] = static_cast<uint8_t>(t[i]);
    }
  };
  tag(0, "RIFF");
  put(4, 36 + size + (size & 1), 4);
  tag(8, "WAVE");
  tag(12, "fmt ");
  put(16, 16, 4);
  put(20, 1, 2);  // PCM
  put(22, 1, 2);  // mono
  put(24, static_cast<uint32_t>(rate), 4);
  put(28, static_cast<uint32_t>(rate), 4);  // bytes per second
  put(32, 1, 2);                            // block align
  put(34, 8, 2);                            // bits
  tag(36, "data");
  put(40, size, 4);
  std::copy(samples.begin(), samples.end(), out.begin() + 44);
  return out;
}

int WriteWavU8File(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate) {
  const std::vector<uint8_t> image = WavU8Image(samples, rate);
  SafeFile file;
  int err = file.Open(path);
  if (err == 0) {
    err = file.Write(image.data(), image.size());
  }
  if (err == 0) {
    err = file.Commit();
  }
  return err;
}

bool WriteWavU8(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate) {
  return WriteWavU8File(path, samples, rate) == 0;
}

}  // namespace velunda
