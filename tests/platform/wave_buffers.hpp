#pragma once
// Shared by the sound card tests: the 8-bit mono format, and a buffer with its header.
#include <cstdint>
#include <vector>

#include "platform/wave_device.hpp"

namespace velunda::test {

inline WaveFormat U8Mono(uint32_t rate) {
  WaveFormat f;
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = rate;
  return f;
}

struct Buffer {
  explicit Buffer(size_t n, uint8_t fill = 0) : memory(n, fill) {
    header.lpData = memory.data();
    header.dwBufferLength = static_cast<uint32_t>(n);
  }
  std::vector<uint8_t> memory;
  WaveHeader header;
};

}  // namespace velunda::test
