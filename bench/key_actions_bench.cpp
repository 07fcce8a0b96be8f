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

// A program state at 8000 Hz with 1000-tap filters and the notch tables made, and the hooks a
// session would run.
struct KeyBench {
  KeyBench()
      : card(clock, {}),
        events(clock, card, {}),
        mixer(FullCardDescription()),
        state(std::make_unique<ProgramState>()),
        engine{card, events, box, clock, speaker, memory},
        platform{engine, mixer, saver},
        session{*state, platform},
        hooks(MakeSessionHooks(session)) {
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
  SessionHooks hooks;
};

// Right then Left: two redesigns per iteration.
void LowPassCutoffKeys(benchmark::State& st) {
  KeyBench b;
  BuildLowPassScreen(*b.state);
  for (auto _ : st) {
    b.hooks.LowPassCutoffUp();
    b.hooks.LowPassCutoffDown();
  }
  st.SetItemsProcessed(2 * st.iterations());
}
BENCHMARK(LowPassCutoffKeys)->Unit(benchmark::kMillisecond);

void BandPassCentreKeys(benchmark::State& st) {
  KeyBench b;
  BuildBandPassScreen(*b.state);
  for (auto _ : st) {
    b.hooks.BandPassCentreUp();
    b.hooks.BandPassCentreDown();
  }
  st.SetItemsProcessed(2 * st.iterations());
}
BENCHMARK(BandPassCentreKeys)->Unit(benchmark::kMillisecond);

// Delete twice on the rejector screen: two stop-band reloads.
void RejectorWidthKeys(benchmark::State& st) {
  KeyBench b;
  BuildRejectorScreen(*b.state);
  for (auto _ : st) {
    b.hooks.NotchSwitchWidth();
    b.hooks.NotchSwitchWidth();
  }
  st.SetItemsProcessed(2 * st.iterations());
}
BENCHMARK(RejectorWidthKeys)->Unit(benchmark::kMillisecond);

// Up then Down: the level through the simulated full mixer.
void OutputLevelKeys(benchmark::State& st) {
  KeyBench b;
  b.state->MixerControl.SoftwareMixer = 1;
  BuildLowPassScreen(*b.state);
  for (auto _ : st) {
    b.hooks.OutputLevelUp();
    b.hooks.OutputLevelDown();
  }
  st.SetItemsProcessed(2 * st.iterations());
}
BENCHMARK(OutputLevelKeys)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
