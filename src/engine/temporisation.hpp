#pragma once
#include <cstdint>

#include "platform/clock.hpp"
#include "platform/speaker.hpp"

namespace velunda {

// The calibrated busy wait and the PC-speaker tone.
struct TemporisationState {
  int32_t LoopsPerMillisecond = 0;
  // Held in memory: every increment reads and writes it, so the loops keep their length.
  volatile int32_t BusyCounter = 0;
  uint8_t SavedSpeakerPort = 0;
};

// Measures the busy loop of Delay against the millisecond clock.
void CalibrateDelay(TemporisationState& t, Clock& clock);
// Busy-waits about ms milliseconds: ms * LoopsPerMillisecond + 1 turns.
void Delay(TemporisationState& t, uint16_t ms);
// Turns of Delay's loop for ms (what Delay runs).
int32_t DelayLimit(const TemporisationState& t, uint16_t ms);

void Sound(TemporisationState& t, SpeakerPorts& ports, int32_t hz);
void NoSound(TemporisationState& t, SpeakerPorts& ports);
// 1000 Hz for 300 ms.
void ErrorBeep(TemporisationState& t, SpeakerPorts& ports);

}  // namespace velunda
