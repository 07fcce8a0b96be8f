#pragma once
// A whole program state on the virtual card with a manual clock, a script of keys and clicks,
// the simulated full mixer, a screen saver that remembers its switches, and a view that records
// every cell write.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

#include "engine/rig.hpp"
#include "platform/simulated_mixer.hpp"
#include "sessions/launch.hpp"
#include "sessions/program_state.hpp"

namespace velunda::test {

struct FakeScreenSaver final : ScreenSaver {
  bool IsActive() override { return active; }
  void SetActive(bool a) override {
    active = a;
    switches.push_back(a);
  }
  bool active = true;
  std::vector<bool> switches;
};

// The successive texts of each cell from the empty start (a write of the same text again is
// not kept), and how often the menus changed.
struct RecordingView final : MainWindowView {
  explicit RecordingView(const MainWindowModel& m) : model(m) {}
  void PanelChanged(int panel) override {
    const std::string& text = Panel(model, panel).Text;
    if (text != (writes[panel].empty() ? std::string() : writes[panel].back())) {
      writes[panel].push_back(text);
    }
    if (panel == 15) {
      const bool red = Panel(model, 15).Colour == PanelColour::Red;
      rateBox.push_back(text + (red ? " (rouge)" : ""));
    }
  }
  void MenuVisibilityChanged(TopMenu) override { ++menuChanges; }
  const MainWindowModel& model;
  std::map<int, std::vector<std::string>> writes;  // successive distinct texts per panel
  std::vector<std::string> rateBox;                // every change of Panel15, colour included
  int menuChanges = 0;
};

inline std::vector<uint8_t> Tone(double hz, size_t n, int32_t rate, double amplitude = 90) {
  std::vector<uint8_t> s(n);
  for (size_t i = 0; i < n; ++i) {
    s[i] = static_cast<uint8_t>(
        std::nearbyint(128 + amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
  }
  return s;
}

struct SessionRig {
  explicit SessionRig(VirtualCardConfig config = {}, std::vector<ScriptedEvent> script = {})
      : card(clock, Rig::KeepingSpeaker(std::move(config))),
        events(clock, card, std::move(script), 1, 120000),
        mixer(FullCardDescription()),
        state(std::make_unique<ProgramState>()),
        engine{card, events, journal, clock, journal, memory},
        platform{engine, mixer, saver},
        view(state->Window) {
    state->Window.View = &view;
    state->MixerControl.SoftwareMixer = 1;
    state->OutputLevel = 20;  // as the start-up sets it
    // The timer's card test has run on a card with both rates.
    auto& tests = state->Engine.CardTests;
    tests.TestDone = tests.SoundCardOK = tests.Rate8000OK = tests.Rate6250OK = 1;
    // Short filters: the calibrations would pick 1000 taps on a clock that does not move.
    DspState& dsp = state->Dsp;
    dsp.PasseBas.LowPassTapCount = dsp.PasseBande.BandPassTapCount = 200;
    dsp.PasseBas.LowPassCalibrated = dsp.PasseBande.BandPassCalibrated = true;
  }

  void Launch(ActionItem item) { LaunchAction(*state, platform, item); }
  // Each session ends as soon as it starts, however many are launched.
  void EndEachSessionAtOnce() {
    platform.sessionStarted = [this] { events.PostKey(WM_KEYDOWN, MakeKeyLParam(kScanEnd, true)); };
  }
  const std::vector<std::string>& Writes(int panel) { return view.writes[panel]; }
  const std::vector<std::string>& messages() const { return journal.messages; }

  ManualClock clock;
  VirtualSoundCard card;
  ScriptedEventSource events;
  Journal journal;
  CountingMemory memory;
  SimulatedMixer mixer;
  FakeScreenSaver saver;
  std::unique_ptr<ProgramState> state;
  EnginePlatform engine;
  LaunchPlatform platform;
  RecordingView view;
};

}  // namespace velunda::test
