#include "audio_io/wav.hpp"

namespace velunda {

std::vector<uint8_t> PcmWavHeader(int32_t rate, uint32_t bits, uint32_t channels,
                                  uint64_t dataBytes, bool rf64) {
  // Made at its full size and filled in place: growing it makes GCC 12 see copies past its
  // end (-Wstringop-overflow) in optimised builds.
  std::vector<uint8_t> h(rf64 ? 80 : 44);
  size_t at = 0;
  const auto text = [&h, &at](const char* t) {
    for (int i = 0; i < 4; ++i) {
      h[at++] = static_cast<uint8_t>(t[i]);
    }
  };
  const auto le = [&h, &at](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      h[at++] = static_cast<uint8_t>(v >> (8 * i));
    }
  };
  const uint64_t pad = dataBytes & 1;  // chunks have even lengths
  const uint32_t align = channels * bits / 8;
  if (rf64) {
    text("RF64");
    le(0xFFFFFFFF, 4);
    text("WAVE");
    text("ds64");
    le(28, 4);
    le(72 + dataBytes + pad, 8);  // the RIFF size
    le(dataBytes, 8);             // the data size
    le(dataBytes / align, 8);     // the frame count
    le(0, 4);                     // no table
  } else {
    text("RIFF");
    le(36 + dataBytes + pad, 4);
    text("WAVE");
  }
  text("fmt ");
  le(16, 4);
  le(1, 2);  // PCM
  le(channels, 2);
  le(static_cast<uint32_t>(rate), 4);
  le(static_cast<uint32_t>(rate) * align, 4);  // bytes per second
  le(align, 2);
  le(bits, 2);
  text("data");
  le(rf64 ? 0xFFFFFFFF : dataBytes, 4);
  return h;
}

std::vector<uint8_t> StreamingWavHeader(int32_t rate, uint32_t bits) {
  return PcmWavHeader(rate, bits, 1, kWavUnknownSize);
}

std::string ParseWavFormat(const std::vector<uint8_t>& chunk, WavFormat& f) {
  if (chunk.size() < 16) {
    return "description du format trop courte";
  }
  uint32_t tag = Le16(&chunk[0]);
  f.channels = Le16(&chunk[2]);
  f.rate = Le32(&chunk[4]);
  const uint32_t byteRate = Le32(&chunk[8]);
  f.blockAlign = Le16(&chunk[12]);
  f.bits = Le16(&chunk[14]);
  if (tag == 0xFFFE && chunk.size() >= 40) {
    tag = Le16(&chunk[24]);  // the sub-format's first two bytes
  }
  if (tag == 1 && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32)) {
    f.coding = f.bits == 8 ? WavCoding::Unsigned8 : WavCoding::Signed;
  } else if (tag == 3 && (f.bits == 32 || f.bits == 64)) {
    f.coding = WavCoding::Float;
  } else {
    return "codage non pris en charge : format " + std::to_string(tag) + ", " +
           std::to_string(f.bits) + " bits";
  }
  if (f.channels == 0 || f.rate == 0) {
    return std::to_string(f.channels) + " voie(s) à " + std::to_string(f.rate) + " Hz";
  }
  if (f.blockAlign != f.channels * f.bits / 8) {
    return "trames de " + std::to_string(f.blockAlign) + " octets pour " +
           std::to_string(f.channels) + " voie(s) de " + std::to_string(f.bits) + " bits";
  }
  if (byteRate != uint64_t{f.rate} * f.blockAlign) {
    return std::to_string(byteRate) + " octets par seconde annoncés au lieu de " +
           std::to_string(uint64_t{f.rate} * f.blockAlign);
  }
  if (f.rate > 1000000) {
    return "fréquence de " + std::to_string(f.rate) + " Hz";
  }
  return "";
}

}  // namespace velunda
