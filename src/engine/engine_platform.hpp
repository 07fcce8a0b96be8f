#pragma once
#include "platform/clock.hpp"
#include "platform/event_source.hpp"
#include "platform/memory.hpp"
#include "platform/message_box.hpp"
#include "platform/speaker.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// The services the engine reaches, chosen once by main(). The event source is the main
// window's queue: the devices post their notices to it.
struct EnginePlatform {
  SoundCard& card;
  EventSource& events;
  MessageBox& box;
  Clock& clock;
  SpeakerPorts& speaker;
  Memory& memory;
};

}  // namespace velunda
