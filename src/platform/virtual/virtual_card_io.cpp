#include "platform/virtual/virtual_card_io.hpp"

#include <algorithm>

namespace velunda {

void MemoryLoop::Read(uint8_t* samples, size_t count) {
  if (samples_.empty()) {
    std::fill_n(samples, count, uint8_t{128});
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    samples[i] = samples_[pos_];
    pos_ = (pos_ + 1) % samples_.size();
  }
}

void MemoryLoop::Skip(uint64_t count) {
  if (!samples_.empty()) {
    pos_ = static_cast<size_t>((pos_ + count % samples_.size()) % samples_.size());
  }
}

void MemorySpeaker::Play(const uint8_t* samples, size_t count) {
  played.insert(played.end(), samples, samples + count);
  if (!openings.empty()) {
    openings.back().samples.insert(openings.back().samples.end(), samples, samples + count);
  }
}

}  // namespace velunda
