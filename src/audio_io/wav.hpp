#pragma once
// The WAV byte layout, in one place: headers written, the format chunk read, little-endian words.
#include <cstdint>
#include <string>
#include <vector>

namespace velunda {

// The most data bytes the 32-bit sizes of a 44-byte WAV header can describe: its RIFF size
// (36 + data + pad byte) must fit in 32 bits.
inline constexpr uint64_t kWavDataLimit = 0xFFFFFFFFu - 37;

// The data size a WAV stream of unknown length announces, as sox writes it: readers take it
// as "read to the end".
inline constexpr uint32_t kWavUnknownSize = 0x7FFFF000u;

inline uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A PCM WAV header for `dataBytes` of `channels` interleaved `bits`-bit samples at `rate`: 44
// bytes, or with `rf64` the 80-byte RF64 form whose ds64 chunk holds the 64-bit sizes.
std::vector<uint8_t> PcmWavHeader(int32_t rate, uint32_t bits, uint32_t channels,
                                  uint64_t dataBytes, bool rf64 = false);

// A 44-byte mono PCM header for a stream of unknown length: its sizes say so, as sox puts them
// (data kWavUnknownSize, RIFF 36 more).
std::vector<uint8_t> StreamingWavHeader(int32_t rate, uint32_t bits);

// How a WAV frame's samples are coded.
enum class WavCoding { Unsigned8, Signed, Float };

struct WavFormat {
  WavCoding coding = WavCoding::Signed;
  uint32_t channels = 0;
  uint32_t rate = 0;
  uint32_t bits = 0;
  uint32_t blockAlign = 0;
};

// Reads and checks a fmt chunk's bytes (PCM 8/16/24/32 bits, float 32/64, extensible forms of
// both); "" or, in French, what is wrong with it.
std::string ParseWavFormat(const std::vector<uint8_t>& chunk, WavFormat& format);

}  // namespace velunda
