#include "platform/virtual/wav_u8.hpp"

#include <sndfile.h>

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

namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

}  // namespace

std::vector<uint8_t> WavU8Image(const std::vector<uint8_t>& samples, int32_t rate) {
  const auto size = static_cast<uint32_t>(samples.size());
  std::vector<uint8_t> out;
  out.reserve(samples.size() + 45);
  const auto tag = [&out](const char* t) { out.insert(out.end(), t, t + 4); };
  tag("RIFF");
  PutLe(out, 36 + size + (size & 1), 4);
  tag("WAVE");
  tag("fmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 1, 2);  // mono
  PutLe(out, static_cast<uint32_t>(rate), 4);
  PutLe(out, static_cast<uint32_t>(rate), 4);  // bytes per second
  PutLe(out, 1, 2);                            // block align
  PutLe(out, 8, 2);                            // bits
  tag("data");
  PutLe(out, size, 4);
  out.insert(out.end(), samples.begin(), samples.end());
  if ((size & 1) != 0) {
    out.push_back(0);  // chunks are padded to an even length
  }
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
