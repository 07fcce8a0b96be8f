#include "sessions/startup.hpp"

#include "engine/temporisation.hpp"
#include "engine/tests_carte_son.hpp"
#include "sessions/program_state.hpp"

namespace velunda {

namespace {

constexpr int kHintLine = 1;
constexpr int kRateBox = 15;

// The filters' settings at every start; none of them is kept in the configuration.
void SetStartupDefaults(ProgramState& state) {
  state.OutputLevel = 20;
  state.Dsp.Rejecteur.NotchThreshold = 1001;
  state.Dsp.PasseBas.LowPassCutoff = 1000.0;
  state.Dsp.PasseBande.BandPassCentre = 800;
  state.Dsp.Rejecteur.NotchFrequency = 1000.0;
}

}  // namespace

void HintLineProblemReporter::ReportMixerProblem(std::string_view message) {
  ErrorBeep(state_.Engine.Timing, platform_.speaker);
  SetPanelText(state_.Window, kHintLine, message);
}

SettingsBinding::SettingsBinding(ProgramState& state, const StartupPlatform& platform)
    : problems(state, platform.engine),
      context{state.Config,   state.Settings,         state.MixerControl,
              platform.mixer, platform.engine.box, problems} {}

bool StartSoundEngine(ProgramState& state, const EnginePlatform& platform) {
  CalibrateDelay(state.Engine.Timing, platform.clock);
  state.Engine.CardTests.SoundCardOK = CheckSoundCardPresence(state.Engine, platform);
  if (state.Engine.CardTests.SoundCardOK == 0) {
    return false;
  }
  SetStartupDefaults(state);
  return true;
}

bool A_la_creation_de_la_fiche(ProgramState& state, const StartupPlatform& platform) {
  if (!StartSoundEngine(state, platform.engine)) {
    return false;
  }
  SettingsBinding settings(state, platform);
  LoadStartupSettings(settings.context);
  state.Engine.StartupDone = 1;
  return true;
}

bool Timer1Timer(ProgramState& state, const EnginePlatform& platform) {
  if (state.Engine.StartupDone == 0 || state.Engine.CardTests.TestDone == 1) {
    return false;
  }
  Timer1Timer(state.Engine, state.Dsp, platform, [&state](std::string_view caption, bool red) {
    SetPanelColour(state.Window, kRateBox, red ? PanelColour::Red : PanelColour::ButtonFace);
    SetPanelText(state.Window, kRateBox, caption);
  });
  return true;
}

}  // namespace velunda
