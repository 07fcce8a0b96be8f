#pragma once
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "engine/engine_platform.hpp"
#include "engine/engine_state.hpp"
#include "platform/message_box.hpp"
#include "platform/speaker.hpp"
#include "platform/virtual/manual_clock.hpp"
#include "platform/virtual/scripted_events.hpp"
#include "platform/virtual/virtual_card.hpp"

namespace velunda::test {

// Heap blocks that can be refused (the failAt-th allocation, 1-based) and are counted.
class CountingMemory final : public Memory {
 public:
  void* Allocate(size_t bytes) override {
    ++allocations;
    if (allocations == failAt) {
      return nullptr;
    }
    void* p = std::calloc(bytes == 0 ? 1 : bytes, 1);
    live.insert(p);
    return p;
  }
  void Free(void* block) override {
    live.erase(block);
    std::free(block);
  }
  int failAt = 0;
  int allocations = 0;
  std::set<void*> live;
};

// A whole engine on the virtual card with a manual clock and a script of keys and clicks.
struct Rig {
  explicit Rig(VirtualCardConfig config = {}, std::vector<ScriptedEvent> script = {},
               uint32_t limitMs = 120000)
      : card(clock, std::move(config)),
        events(clock, card, std::move(script), 1, limitMs),
        dsp(std::make_unique<DspState>()),
        platform{card, events, box, clock, speaker, memory} {}

  const std::vector<std::string>& messages() const { return box.messages; }

  ManualClock clock;
  VirtualSoundCard card;
  ScriptedEventSource events;
  RecordingMessageBox box;
  RecordingSpeakerPorts speaker;
  CountingMemory memory;
  EngineState engine;
  std::unique_ptr<DspState> dsp;
  EnginePlatform platform;
};

inline ScriptedEvent KeyAt(uint32_t atMs, uint8_t scan, bool extended = true) {
  return {atMs, WM_KEYDOWN, MakeKeyLParam(scan, extended)};
}

}  // namespace velunda::test
