// Noise reducers' speed: one iteration is one second of audio, so the time per iteration is
// the CPU cost of one second of audio. Target: at most 1 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/reducteur_bruit_cw_rtty.hpp"
#include "dsp/reducteur_wiener_phonie.hpp"

namespace velunda {
namespace {

std::vector<uint8_t> Hiss(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t seed = 777;
  for (auto& s : v) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<uint8_t>(96 + (seed >> 26));
  }
  return v;
}

void BM_GeneralReducerStep(benchmark::State& state) {
  const auto rate = static_cast<int32_t>(state.range(0));
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurGeneral.VoiceReducerSampleRate = rate;
  GeneralReducerSetup(*dsp);
  const auto input = Hiss(static_cast<size_t>(rate));
  for (auto _ : state) {
    for (uint8_t s : input) {
      dsp->CurrentSample = s;
      GeneralReducerStep(*dsp);
    }
    benchmark::DoNotOptimize(dsp->CurrentSample);
  }
}

void BM_CwReducerStep(benchmark::State& state) {
  const auto rate = static_cast<int32_t>(state.range(0));
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = rate;
  dsp->ReducteurGeneral.VoiceReducerSampleRate = rate;
  GeneralReducerSetup(*dsp);  // the power window follows the rate
  dsp->ReducteurCw.CwReducerSampleRate = rate;
  CwReducerSetup(*dsp);
  const auto input = Hiss(static_cast<size_t>(rate));
  for (auto _ : state) {
    for (uint8_t s : input) {
      dsp->CurrentSample = s;
      CwReducerStep(*dsp);
    }
    benchmark::DoNotOptimize(dsp->CurrentSample);
  }
}

BENCHMARK(BM_GeneralReducerStep)->Arg(8000)->Arg(11025)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CwReducerStep)->Arg(8000)->Arg(11025)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
