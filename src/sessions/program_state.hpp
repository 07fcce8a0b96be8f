#pragma once
#include "config/configuration.hpp"
#include "config/fonctions_mixer.hpp"
#include "config/settings.hpp"
#include "dsp/dsp_state.hpp"
#include "engine/engine_state.hpp"
#include "sessions/frequency_analysis.hpp"
#include "sessions/main_window_model.hpp"
#include "sessions/sessions_state.hpp"

namespace velunda {

// Everything the program keeps for the whole run, owned by main() and passed by reference.
// Large (the filters' tables): allocate it on the heap.
struct ProgramState {
  DspState Dsp;
  ConfigurationState Config;
  SettingsState Settings;
  MixerState MixerControl;
  EngineState Engine;
  MainWindowModel Window;
  uint8_t OutputLevel = 0;  // loudspeaker level in per cent; 20 from start-up on
  SessionsState Sessions;
  SpectrumState Spectrum;
};

}  // namespace velunda
