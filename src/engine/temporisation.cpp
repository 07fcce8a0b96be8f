#include "engine/temporisation.hpp"

#include <limits>

namespace velunda {
namespace {

void Increment(TemporisationState& t) { t.BusyCounter = t.BusyCounter + 1; }

// Delay's loop: increments until the counter exceeds limit.
void BusyLoop(TemporisationState& t, int32_t limit) {
  t.BusyCounter = 0;
  while (limit >= t.BusyCounter) {
    Increment(t);
  }
}

}  // namespace

void CalibrateDelay(TemporisationState& t, Clock& clock) {
  t.BusyCounter = 0;
  const uint32_t t0 = clock.NowMs();
  while (clock.NowMs() - t0 < 280) {
    for (int i = 0; i < 200; ++i) {
      Increment(t);
    }
  }
  const int32_t n = t.BusyCounter;
  t.BusyCounter = 0;
  const uint32_t t1 = clock.NowMs();
  BusyLoop(t, n);
  const uint32_t t2 = clock.NowMs();
  // A loop shorter than one tick is counted as one millisecond.
  const int64_t elapsed = t2 > t1 ? int64_t{t2 - t1} : 1;
  int64_t lpm = (int64_t{n} + 1) / elapsed;
  lpm += lpm / 30;
  t.LoopsPerMillisecond =
      static_cast<int32_t>(std::min<int64_t>(lpm, std::numeric_limits<int32_t>::max()));
}

int32_t DelayLimit(const TemporisationState& t, uint16_t ms) {
  // Kept below the counter's range, so the counter can always pass the limit.
  const int64_t limit = int64_t{ms} * t.LoopsPerMillisecond;
  return static_cast<int32_t>(std::min<int64_t>(limit, std::numeric_limits<int32_t>::max() - 1));
}

void Delay(TemporisationState& t, uint16_t ms) { BusyLoop(t, DelayLimit(t, ms)); }

void Sound(TemporisationState& t, SpeakerPorts& ports, int32_t hz) {
  ports.Out(0x43, 0xB6);
  const int32_t divisor = hz > 0 ? 1193180 / hz : 0;
  ports.Out(0x42, static_cast<uint8_t>(divisor & 0xFF));
  ports.Out(0x42, static_cast<uint8_t>((divisor / 256) & 0xFF));
  t.SavedSpeakerPort = ports.In(0x61);
  ports.Out(0x61, static_cast<uint8_t>(t.SavedSpeakerPort | 0x03));
}

void NoSound(TemporisationState& t, SpeakerPorts& ports) {
  if ((t.SavedSpeakerPort & 0x02) != 0) {
    t.SavedSpeakerPort = static_cast<uint8_t>(t.SavedSpeakerPort & ~0x02);
  }
  ports.Out(0x61, t.SavedSpeakerPort);
}

void ErrorBeep(TemporisationState& t, SpeakerPorts& ports) {
  Sound(t, ports, 1000);
  Delay(t, 300);
  NoSound(t, ports);
}

}  // namespace velunda
