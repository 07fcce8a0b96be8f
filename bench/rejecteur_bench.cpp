// Rejector speed: one iteration is one second of audio at 8000 Hz, so the time per iteration
// is the CPU cost of one second of audio. Target: at most 1 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/rejecteur_par_tfd.hpp"

namespace velunda {
namespace {

constexpr int32_t kRate = 8000;

std::vector<uint8_t> CarrierAndHiss(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t seed = 12345;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double hiss = static_cast<double>(seed >> 24) / 16.0 - 8.0;
    const double s = 127.5 + 60.0 * std::sin(2 * std::numbers::pi * 1230.0 * i / kRate) + hiss;
    v[i] = static_cast<uint8_t>(std::nearbyint(s));
  }
  return v;
}

std::unique_ptr<DspState> Rejector(uint8_t automatic) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = kRate;
  NotchDesignNarrow(*dsp);
  NotchDesignWide(*dsp);
  RejecteurState& r = dsp->Rejecteur;
  r.NotchLength = 1000;
  r.DetectionDivisor = 1;
  r.NotchAuto = automatic;
  PrepareRejectorRun(*dsp);
  return dsp;
}

void RunSecond(benchmark::State& state, uint8_t automatic) {
  auto dsp = Rejector(automatic);
  const auto input = CarrierAndHiss(kRate);
  for (auto _ : state) {
    for (uint8_t s : input) {
      dsp->CurrentSample = s;
      RejectorStep(*dsp);
    }
    benchmark::DoNotOptimize(dsp->CurrentSample);
  }
}

void BM_RejectorStepAutomatic1000Taps(benchmark::State& state) { RunSecond(state, 1); }
void BM_RejectorStepManual1000Taps(benchmark::State& state) { RunSecond(state, 0); }

// Both notch tables, 130 sets of 500 coefficients: once per run.
void BM_NotchTableDesign(benchmark::State& state) {
  auto dsp = std::make_unique<DspState>();
  dsp->SampleRate = kRate;
  for (auto _ : state) {
    NotchDesignNarrow(*dsp);
    NotchDesignWide(*dsp);
    benchmark::DoNotOptimize(dsp->Rejecteur.WideNotchTable.data());
  }
}

BENCHMARK(BM_RejectorStepAutomatic1000Taps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RejectorStepManual1000Taps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotchTableDesign)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
