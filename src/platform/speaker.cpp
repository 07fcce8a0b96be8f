#include "platform/speaker.hpp"

namespace velunda {

void EmulatedSpeakerPorts::Out(uint16_t port, uint8_t value) {
  switch (port) {
    case 0x43:
      // Channel 2 command: the next two writes to 0x42 load the divisor, low byte first.
      if ((value & 0xC0) == 0x80) {
        highByteNext_ = false;
      }
      break;
    case 0x42:
      if (!highByteNext_) {
        latch_ = value;
        highByteNext_ = true;
      } else {
        divisor_ = static_cast<uint16_t>(latch_ | (value << 8));
        highByteNext_ = false;
        if (sounding_) {
          tone_->SetDivisor(divisor_);
        }
      }
      break;
    case 0x61: {
      gate_ = value;
      const bool on = (value & 0x03) == 0x03;
      if (on != sounding_) {
        sounding_ = on;
        tone_->SetDivisor(on ? divisor_ : 0);
      }
      break;
    }
    default:
      break;
  }
}

uint8_t EmulatedSpeakerPorts::In(uint16_t port) { return port == 0x61 ? gate_ : 0; }

}  // namespace velunda
