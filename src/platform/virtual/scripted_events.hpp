#pragma once
#include <cstdint>
#include <vector>

#include "platform/event_source.hpp"
#include "platform/virtual/manual_clock.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// A key or mouse message posted once the clock reaches atMs.
struct ScriptedEvent {
  uint32_t atMs;
  uint32_t message;  // WM_KEYDOWN.., WM_LBUTTONDOWN..
  uint32_t lParam = 0;
};

// The event source of deterministic sessions: each idle wait moves the manual clock by one
// step, lets the sound card deliver what is due and posts the scripted input that has come.
// Past limitMs it clicks on every wait (and says so), so a faulty loop cannot hang a test.
class ScriptedEventSource final : public QueuedEventSource {
 public:
  ScriptedEventSource(ManualClock& clock, SoundCard& card, std::vector<ScriptedEvent> script,
                      uint32_t stepMs = 1, uint32_t limitMs = 600000);

  void WaitBriefly(uint32_t maxMs) override;

  bool TimedOut() const { return timedOut_; }
  uint64_t Waits() const { return waits_; }

 private:
  void PostDue();

  ManualClock& clock_;
  SoundCard& card_;
  std::vector<ScriptedEvent> script_;
  size_t next_ = 0;
  uint32_t stepMs_;
  uint32_t limitMs_;
  bool timedOut_ = false;
  uint64_t waits_ = 0;
};

}  // namespace velunda
