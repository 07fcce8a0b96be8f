#pragma once
// A whole program state on the virtual card with a manual clock, a script of keys and clicks,
// the simulated full mixer, a screen saver that remembers its switches, and a view that records
// every cell write.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <utility>

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

// The rig's events as the loop sees them: keeps the input blocks handed to the loop and, at the
// first poll after a key was taken, calls afterKey with their count: the block from which the
// key's change applies.
struct WatchedEvents final : EventSource {
  explicit WatchedEvents(EventSource& e) : inner(e) {}
  void PostNotice(uint32_t message, WaveHeader* header) override {
    inner.PostNotice(message, header);
  }
  bool PollDeviceNotice(DeviceNotice& notice) override {
    if (std::exchange(keyTaken, false) && afterKey) {
      afterKey(captured.size());
    }
    const bool got = inner.PollDeviceNotice(notice);
    if (got && notice.message == MM_WIM_DATA) {
      const WaveHeader& h = *notice.header;
      captured.emplace_back(h.lpData, h.lpData + h.dwBytesRecorded);
    }
    return got;
  }
  bool PollLeftButtonDown() override { return inner.PollLeftButtonDown(); }
  bool PollKeyboard(KeyMessage& key) override {
    keyTaken = inner.PollKeyboard(key) && key.message == WM_KEYDOWN;
    return keyTaken;
  }
  void DrainDeviceNotices() override { inner.DrainDeviceNotices(); }
  void DrainKeyboard() override { inner.DrainKeyboard(); }
  void DrainMouse() override { inner.DrainMouse(); }
  void WaitBriefly(uint32_t maxMs) override { inner.WaitBriefly(maxMs); }

  EventSource& inner;
  std::function<void(size_t)> afterKey;
  std::vector<std::vector<uint8_t>> captured;
  bool keyTaken = false;
};

struct SessionRig {
  explicit SessionRig(VirtualCardConfig config = {}, std::vector<ScriptedEvent> script = {})
      : card(clock, Rig::KeepingSpeaker(std::move(config), speaker)),
        events(clock, card, std::move(script), 1, 120000),
        watched(events),
        mixer(FullCardDescription()),
        state(std::make_unique<ProgramState>()),
        engine{card, watched, journal, clock, journal, memory},
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
  const std::vector<uint8_t>& Speaker() const { return speaker->played; }

  ManualClock clock;
  std::shared_ptr<MemorySpeaker> speaker = std::make_shared<MemorySpeaker>();
  VirtualSoundCard card;
  ScriptedEventSource events;
  WatchedEvents watched;
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
