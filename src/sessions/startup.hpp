#pragma once
#include <string_view>

#include "config/settings.hpp"
#include "engine/engine_platform.hpp"
#include "platform/mixer.hpp"

namespace velunda {

struct ProgramState;

// What the start-up reaches: the engine's services and the sound card's mixer.
struct StartupPlatform {
  const EnginePlatform& engine;
  Mixer& mixer;
};

// A mixer problem found at start-up or by the mixer-mode menu: the warning beep, then the
// message on the hint line (Panel1).
class HintLineProblemReporter final : public MixerProblemReporter {
 public:
  HintLineProblemReporter(ProgramState& state, const EnginePlatform& platform)
      : state_(state), platform_(platform) {}
  void ReportMixerProblem(std::string_view message) override;

 private:
  ProgramState& state_;
  const EnginePlatform& platform_;
};

// The settings operations on this program's state, mixer and hint line.
struct SettingsBinding {
  SettingsBinding(ProgramState& state, const StartupPlatform& platform);
  SettingsBinding(const SettingsBinding&) = delete;
  SettingsBinding& operator=(const SettingsBinding&) = delete;
  HintLineProblemReporter problems;
  SettingsContext context;
};

// The creation step's first part, shared by both programs: delay calibration, sound-card
// presence (false: nothing else was done), the filters' start-up defaults.
bool StartSoundEngine(ProgramState& state, const EnginePlatform& platform);

// The main window's creation step, after the hint handler is installed: delay calibration,
// sound-card presence (false: the program ends, nothing else was done), the filters' start-up
// defaults, the configuration, the mixer check, input and gain again, StartupDone.
bool A_la_creation_de_la_fiche(ProgramState& state, const StartupPlatform& platform);

// Timer1's tick: once start-up is done, the full sound-card test with its progress in the rate
// box (Panel15). Gives true when the test ran during this tick.
bool Timer1Timer(ProgramState& state, const EnginePlatform& platform);

}  // namespace velunda
