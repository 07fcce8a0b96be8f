#pragma once
// Unsigned 8-bit mono recordings made byte by byte, and any recording read back through
// libsndfile. No test framework here.
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/files.hpp"

namespace velunda::common {

using Bytes = std::vector<uint8_t>;

// Pseudo-random bytes, every value equally likely.
inline Bytes Noise(size_t n, uint32_t seed) {
  Bytes v(n);
  for (uint8_t& s : v) {
    seed = seed * 1103515245u + 12345u;
    s = static_cast<uint8_t>(seed >> 24);
  }
  return v;
}

// The bytes of a WAV file: a 44-byte header, the samples, a pad byte after an odd length.
inline Bytes WavU8Image(const Bytes& samples, int32_t rate) {
  const auto size = static_cast<uint32_t>(samples.size());
  Bytes out;
  const auto text = [&out](const char* t) { out.insert(out.end(), t, t + 4); };
  const auto word = [&out](uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
      out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
  };
  text("RIFF"), word(36 + size + (size & 1), 4), text("WAVE"), text("fmt "), word(16, 4);
  word(1, 2), word(1, 2), word(static_cast<uint32_t>(rate), 4),
      word(static_cast<uint32_t>(rate), 4);
  word(1, 2), word(8, 2), text("data"), word(size, 4);
  out.resize(44 + size + (size & 1), 0);
  std::copy(samples.begin(), samples.end(), out.begin() + 44);
  return out;
}

inline Bytes ReadBytes(const std::string& path) {
  const std::string bytes = ReadFile(path);
  return Bytes(bytes.begin(), bytes.end());
}

inline bool WriteWavU8(const std::string& path, const Bytes& samples, int32_t rate) {
  const Bytes image = WavU8Image(samples, rate);
  WriteFile(path, std::string(image.begin(), image.end()));
  return ReadFile(path).size() == image.size();
}

// A recording as libsndfile reads it (its first channel) as unsigned 8-bit samples; its rate
// and format in `info`. False when libsndfile cannot open it.
inline bool ReadRecordingU8(const std::string& path, Bytes& samples, SF_INFO& info) {
  info = {};
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
  sf_close(file);
  return true;
}

}  // namespace velunda::common
