#include "sessions/filter_screen.hpp"

#include <algorithm>

#include "config/fonctions_mixer.hpp"
#include "sessions/program_state.hpp"

namespace velunda {

void WriteCell(ProgramState& s, int panel, std::string_view text) {
  SetPanelText(s.Window, panel, text);
}

void WriteCell(ProgramState& s, int panel, int64_t value) {
  WriteCell(s, panel, std::to_string(value));
}

void BeginScreen(ProgramState& s, std::initializer_list<int> cells, std::string_view title,
                 std::string_view abandon) {
  SetPanelVisible(s.Window, 1, false);
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    if (IsFilterScreenPanel(panel)) {
      SetPanelVisible(s.Window, panel, std::find(cells.begin(), cells.end(), panel) != cells.end());
    }
  }
  WriteCell(s, 8, "TOUCHES");
  WriteCell(s, 2, title);
  WriteCell(s, 9, "Fin (ou Click sur fenêtre)");
  WriteCell(s, 7, abandon);
  WriteCell(s, 10, "Curseurs verticaux");
  WriteCell(s, 5, "Niveau de sortie BF (0 à 100 %):");
  WriteCell(s, 4, s.OutputLevel);
}

void HideFilterScreen(ProgramState& s) {
  for (int panel = 2; panel <= kPanelCount; ++panel) {
    if (IsFilterScreenPanel(panel)) {
      SetPanelVisible(s.Window, panel, false);
    }
  }
}

void EndSession(ProgramState& s) {
  HideFilterScreen(s);
  s.Dsp.Rejecteur.NotchAuto = 0;
  s.Sessions.SessionRepeat = false;
  s.Sessions.EndRequested = true;
}

// Steps of 1 below 4, 4 up to 36, 8 up to 60, 20 up to 100: the ladder 0, 1, 2, 3, 4, 8, ... 36,
// 44, 52, 60, 80, 100.
uint8_t LevelAbove(uint8_t level) {
  if (level < 4) {
    return static_cast<uint8_t>(level + 1);
  }
  if (level < 36) {
    return static_cast<uint8_t>(level + 4);
  }
  if (level < 60) {
    return static_cast<uint8_t>(level + 8);
  }
  if (level < 100) {
    return static_cast<uint8_t>(level + 20);
  }
  return level;
}

uint8_t LevelBelow(uint8_t level) {
  if (level > 60) {
    return static_cast<uint8_t>(level - 20);
  }
  if (level > 36) {
    return static_cast<uint8_t>(level - 8);
  }
  if (level > 4) {
    return static_cast<uint8_t>(level - 4);
  }
  if (level > 0) {
    return static_cast<uint8_t>(level - 1);
  }
  return 0;
}

void ApplyOutputLevel(Session& session) {
  MixerState& m = session.state.MixerControl;
  const uint8_t level = session.state.OutputLevel;
  if (level < 4) {
    m.SpeakerVolumeLeft = 4;
    m.SpeakerVolumeRight = 4;
    m.WaveOutputVolume = static_cast<uint16_t>(level * 20);
  } else {
    m.WaveOutputVolume = 100;
    m.SpeakerVolumeLeft = level;
    m.SpeakerVolumeRight = level;
  }
  AdjustMixer(session.platform.mixer, m);
}

void OutputLevelUp(Session& session) {
  session.state.OutputLevel = LevelAbove(session.state.OutputLevel);
  ApplyOutputLevel(session);
  WriteCell(session.state, 4, session.state.OutputLevel);
}

void OutputLevelDown(Session& session) {
  session.state.OutputLevel = LevelBelow(session.state.OutputLevel);
  ApplyOutputLevel(session);
  WriteCell(session.state, 4, session.state.OutputLevel);
}

void FilterScreen::Started() {
  ApplyOutputLevel(session_);
  if (session_.platform.sessionStarted) {
    session_.platform.sessionStarted();
  }
}

bool FilterScreen::KeyDown(uint8_t scanCode) {
  switch (scanCode) {
    case kScanEnd:
      EndSession(session_.state);
      return false;
    case kScanUp:
      OutputLevelUp(session_);
      return true;
    case kScanDown:
      OutputLevelDown(session_);
      return true;
    case kScanF2:
      ToggleSpectrum(session_.state.Spectrum);
      return true;
    default:
      break;
  }
  for (const ScreenKey& key : keys_) {
    if (key.scanCode == scanCode) {
      key.action(session_);
      return !key.stopsLoop;
    }
  }
  return true;
}

void FilterScreen::BlockFiltered(const uint8_t* input, const uint8_t* output, int32_t length) {
  SpectrumState& spectrum = session_.state.Spectrum;
  if (spectrum.Shown) {
    SpectrumFeed(spectrum, session_.state.Dsp.SampleRate, input, output, length);
  }
}

bool FilterScreen::Clicked() {
  EndSession(session_.state);
  return false;
}

}  // namespace velunda
