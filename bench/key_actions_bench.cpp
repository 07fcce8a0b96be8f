// The longest key actions of a session, as the loop runs them between two blocks: a 1000-tap
// low-pass or band-pass redesign and a notch reload, each with its cell write. A block lasts
// 256 ms (2048 samples) to 333 ms; a key action should stay far below, under 5 ms.
#include <benchmark/benchmark.h>

#include <memory>

#include "dsp/filter_kind.hpp"
#include "platform/message_box.hpp"
#include "platform/simulated_mixer.hpp"
#include "platform/speaker.hpp"
#include "platform/virtual/scripted_events.hpp"
#include "platform/virtual/virtual_card.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/program_state.hpp"

namespace velunda {
namespace {

// A program state at 8000 Hz with 1000-tap filters and the notch tables made, and a session to
// give the screens.
struct KeyBench {
  KeyBench()
      : card(clock, {}),
        events(clock, card, {}),
        mixer(FullCardDescription()),
        state(std::make_unique<ProgramState>()),
        engine{card, events, box, clock, speaker, memory},
        platform{engine, mixer, saver},
        session{*state, platform} {
    DspState& dsp = state->Dsp;
    dsp.SampleRate = 8000;
    state->OutputLevel = 20;
    dsp.PasseBas.LowPassTapCount = 1000;
    dsp.PasseBande.BandPassTapCount = 1000;
    dsp.Rejecteur.NotchLength = 1000;
    NotchDesignNarrow(dsp);
    NotchDesignWide(dsp);
  }
  ManualClock clock;
  VirtualSoundCard card;
  ScriptedEventSource events;
  RecordingMessageBox box;
  RecordingSpeakerPorts speaker;
  HeapMemory memory;
  SimulatedMixer mixer;
  NullScreenSaver saver;
  std::unique_ptr<ProgramState> state;
  EnginePlatform engine;
  LaunchPlatform platform;
  Session session;
};

// Two keys per iteration on a running screen.
void PressPairs(benchmark::State& st, SessionScreen& screen, uint8_t first, uint8_t second) {
  for (auto _ : st) {
    screen.KeyDown(first);
    screen.KeyDown(second);
  }
  st.SetItemsProcessed(2 * st.iterations());
}

// Right then Left: two redesigns per iteration.
void LowPassCutoffKeys(benchmark::State& st) {
  KeyBench b;
  b.state->Dsp.FilterKind = kPasseBas;
  BuildLowPassScreen(*b.state);
  PressPairs(st, *LowPassScreen(b.session), kScanRight, kScanLeft);
}
BENCHMARK(LowPassCutoffKeys)->Unit(benchmark::kMillisecond);

void BandPassCentreKeys(benchmark::State& st) {
  KeyBench b;
  b.state->Dsp.FilterKind = kPasseBande;
  BuildBandPassScreen(*b.state);
  PressPairs(st, *BandPassScreen(b.session), kScanRight, kScanLeft);
}
BENCHMARK(BandPassCentreKeys)->Unit(benchmark::kMillisecond);

// Delete twice on the rejector screen: two stop-band reloads.
void RejectorWidthKeys(benchmark::State& st) {
  KeyBench b;
  b.state->Dsp.FilterKind = kRejecteurParTfd;
  BuildRejectorScreen(*b.state);
  PressPairs(st, *RejectorScreen(b.session), kScanDelete, kScanDelete);
}
BENCHMARK(RejectorWidthKeys)->Unit(benchmark::kMillisecond);

// Up then Down: the level through the simulated full mixer.
void OutputLevelKeys(benchmark::State& st) {
  KeyBench b;
  b.state->MixerControl.SoftwareMixer = 1;
  BuildLowPassScreen(*b.state);
  PressPairs(st, *LowPassScreen(b.session), kScanUp, kScanDown);
}
BENCHMARK(OutputLevelKeys)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
