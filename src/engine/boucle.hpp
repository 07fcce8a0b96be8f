#pragma once
#include <cstdint>

#include "engine/engine_platform.hpp"

namespace velunda {

struct EngineState;
struct DspState;

// Longest idle wait of a pass that found nothing. The event sources wake at once for what
// they watch (the card, keys, clicks); this only bounds what they cannot see coming, such as
// a signal taken by another thread.
inline constexpr uint32_t kIdleWaitMs = 50;

// The running session's screen, as the loop sees it. The calls that return false stop the loop
// at the end of its pass.
class SessionScreen {
 public:
  virtual ~SessionScreen() = default;
  // The devices run; no block has come yet.
  virtual void Started() = 0;
  // An extended key went down: its scan code.
  virtual bool KeyDown(uint8_t scanCode) = 0;
  // The left button went down on the window.
  virtual bool Clicked() = 0;
  // A captured block went through ProcessBlock: its samples in and out, for whoever looks
  // at them (the spectrum); then BlockDone.
  virtual void BlockFiltered(const uint8_t* /*input*/, const uint8_t* /*output*/,
                             int32_t /*length*/) {}
  virtual bool BlockDone() = 0;
};

// One filter session: opens the devices, runs blocks through ProcessBlock until the screen
// stops it, then closes everything. Returns at once when the preparation fails, having
// released whatever it had opened or allocated.
void RunSession(EngineState& e, DspState& dsp, SessionScreen& screen, const EnginePlatform& p);

// The scan code of a WM_KEYDOWN's lParam for an extended key; 0 for any other key.
uint8_t ExtendedScanCode(uint32_t lParam);
// The key a session's screen is given: an extended key, or F2 (which has no extended form).
uint8_t SessionKeyCode(uint32_t lParam);

}  // namespace velunda
