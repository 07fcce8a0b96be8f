#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>

#include "common/journal.hpp"
#include "dsp/dsp_state.hpp"
#include "engine/engine_platform.hpp"
#include "engine/engine_state.hpp"
#include "platform/virtual/scripted_events.hpp"
#include "platform/virtual/virtual_card.hpp"

namespace velunda::test {

constexpr uint32_t kStart = 1000;  // the manual clock's time at creation

// Heap blocks that can be refused (the failAt-th allocation, 1-based) and are counted.
class CountingMemory final : public Memory {
 public:
  void* Allocate(size_t bytes) override {
    if (++allocations == failAt) {
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

using Journal = common::Journal;

// A whole engine on the virtual card with a manual clock and a script of keys and clicks.
struct Rig {
  explicit Rig(VirtualCardConfig config = {}, std::vector<ScriptedEvent> script = {})
      : card(clock, KeepingSpeaker(std::move(config), speaker)),
        events(clock, card, std::move(script), 1, 120000),
        dsp(std::make_unique<DspState>()),
        platform{card, events, journal, clock, journal, memory} {}

  const std::vector<std::string>& messages() const { return journal.messages; }
  const std::vector<uint8_t>& Speaker() const { return speaker->played; }

  static VirtualCardConfig KeepingSpeaker(VirtualCardConfig config,
                                          std::shared_ptr<SpeakerSink> speaker) {
    config.speaker = std::move(speaker);
    return config;
  }

  ManualClock clock;
  std::shared_ptr<MemorySpeaker> speaker = std::make_shared<MemorySpeaker>();
  VirtualSoundCard card;
  ScriptedEventSource events;
  Journal journal;
  CountingMemory memory;
  EngineState engine;
  std::unique_ptr<DspState> dsp;
  EnginePlatform platform;
};

inline ScriptedEvent At(uint32_t atMs, uint32_t message, uint32_t lParam = 0) {
  return {atMs, message, lParam};
}
inline ScriptedEvent KeyAt(uint32_t atMs, uint8_t scan, bool extended = true) {
  return At(atMs, WM_KEYDOWN, MakeKeyLParam(scan, extended));
}

// Nothing open, allocated or waiting once the engine has returned.
inline void ExpectNothingHeld(const Rig& rig) {
  EXPECT_FALSE(rig.card.InputOpen());
  EXPECT_FALSE(rig.card.OutputOpen());
  EXPECT_TRUE(rig.memory.live.empty());
  EXPECT_EQ(rig.events.PendingInRange(MM_WOM_DONE, MM_WIM_DATA), 0u);
  EXPECT_EQ(rig.engine.Wave.OpenErrorMessages, 1);
  EXPECT_FALSE(rig.events.TimedOut());
}

}  // namespace velunda::test
