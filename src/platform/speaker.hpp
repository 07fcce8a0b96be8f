#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace velunda {

// The PC's interval timer (ports 0x42, 0x43) and speaker gate (port 0x61), as the beep
// drives them. Implementations never block and never fail: without a speaker they stay
// silent or fall back to a plain bell.
class SpeakerPorts {
 public:
  virtual ~SpeakerPorts() = default;
  virtual void Out(uint16_t port, uint8_t value) = 0;
  virtual uint8_t In(uint16_t port) = 0;
};

// Records every port access in order, with a settable gate byte (tests).
class RecordingSpeakerPorts final : public SpeakerPorts {
 public:
  struct Access {
    bool write;
    uint16_t port;
    uint8_t value;
    bool operator==(const Access&) const = default;
  };
  void Out(uint16_t port, uint8_t value) override {
    accesses.push_back({true, port, value});
    if (port == 0x61) {
      gate = value;
    }
  }
  uint8_t In(uint16_t port) override {
    const uint8_t v = port == 0x61 ? gate : 0;
    accesses.push_back({false, port, v});
    return v;
  }
  std::vector<Access> accesses;
  uint8_t gate = 0;
};

// Turns a tone on or off (a divisor of the 1193180 Hz timer clock; 0 is silence).
class ToneOutput {
 public:
  virtual ~ToneOutput() = default;
  virtual void SetDivisor(uint16_t divisor) = 0;
};

// Emulates the timer channel 2 and the gate over a ToneOutput: the tone sounds while both
// gate bits 0 and 1 of port 0x61 are set, at the divisor last loaded through 0x42.
class EmulatedSpeakerPorts final : public SpeakerPorts {
 public:
  explicit EmulatedSpeakerPorts(std::unique_ptr<ToneOutput> tone) : tone_(std::move(tone)) {}
  void Out(uint16_t port, uint8_t value) override;
  uint8_t In(uint16_t port) override;

 private:
  std::unique_ptr<ToneOutput> tone_;
  uint16_t latch_ = 0;
  uint16_t divisor_ = 0;
  bool highByteNext_ = false;
  uint8_t gate_ = 0;
  bool sounding_ = false;
};

// The machine's speaker: the console's KIOCSOUND, else an evdev speaker (EV_SND/SND_TONE),
// else the terminal bell, else nothing. Opening and every call return at once.
std::unique_ptr<SpeakerPorts> OpenSystemSpeaker();
// The same with another last resort than the terminal bell (the window system's beep).
std::unique_ptr<SpeakerPorts> OpenSystemSpeaker(std::unique_ptr<ToneOutput> fallback);

}  // namespace velunda
