#pragma once
#include <cstdint>
#include <functional>

#include "engine/engine_platform.hpp"

namespace velunda {

struct EngineState;
struct DspState;

// Longest idle wait of a pass that found nothing. The event sources wake at once for what
// they watch (the card, keys, clicks); this only bounds what they cannot see coming, such as
// a signal taken by another thread.
inline constexpr uint32_t kIdleWaitMs = 50;

// What the loop calls in the screens and filters. Every entry may be left empty: an absent
// action does nothing. End always ends the session, whatever EndSession does.
struct SessionHooks {
  using Action = std::function<void()>;
  Action EndSession;
  Action OutputLevelUp;
  Action OutputLevelDown;
  Action ApplyOutputLevel;
  // BFO
  Action BfoShiftDown;
  Action BfoShiftUp;
  Action BfoSwitchInversion;
  // Low-pass
  Action LowPassCutoffDown;
  Action LowPassCutoffUp;
  // Band-pass
  Action BandPassCentreDown;
  Action BandPassCentreUp;
  Action BandPassNextWidth;
  Action BandPassRequestCentring;
  // Rejector
  Action NotchDown;
  Action NotchUp;
  Action NotchSwitchWidth;
  Action NotchSwitchAuto;
  Action NotchNextThreshold;
  Action RejectorBlockDisplay;
  // Noise reducers
  Action GeneralReducerNextState;
  Action CwReducerNextState;
  // Set by the band-pass launch while it runs its carrier search.
  std::function<bool()> CarrierSearchActive;
};

// One filter session: opens the devices, runs blocks through ProcessBlock until
// StopRequested, then closes everything. Returns at once when the preparation fails, having
// released whatever it had opened or allocated.
void RunSession(EngineState& e, DspState& dsp, const SessionHooks& hooks, const EnginePlatform& p);

// The action of a WM_KEYDOWN's lParam in a session of dsp.FilterKind.
void DecodeKey(EngineState& e, const DspState& dsp, const SessionHooks& hooks, uint32_t lParam);

}  // namespace velunda
