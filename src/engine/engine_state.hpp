#pragma once
#include <cstdint>

#include "engine/fonctions_wave.hpp"
#include "engine/temporisation.hpp"
#include "engine/tests_carte_son.hpp"

namespace velunda {

// The real-time engine's state for the whole run.
struct EngineState {
  FonctionsWaveState Wave;
  TemporisationState Timing;
  TestsCarteSonState CardTests;
  uint8_t StopRequested = 0;  // ends the processing loop at the end of its pass
  uint8_t StartupDone = 0;    // set as the last step of the main window's creation
};

}  // namespace velunda
