#pragma once
#include "platform/event_source.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// An event source with no keyboard or mouse of its own: idle waits are spent on the sound
// card. Keys and clicks come from whoever posts them (PostKey, PostMouse).
class CardEventSource : public QueuedEventSource {
 public:
  explicit CardEventSource(SoundCard& card) : card_(card) {}
  void WaitBriefly(uint32_t maxMs) override { card_.WaitForActivity(maxMs); }

 protected:
  SoundCard& card_;
};

}  // namespace velunda
