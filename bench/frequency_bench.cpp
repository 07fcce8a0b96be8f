// CPU cost of the spectrum while shown: one 2666-sample block at 8000 Hz (a third of a second)
// analysed and its frames taken as the window takes them, and the picture the window builds at
// each of its ticks. cpu_percent is the share of one core for a second of audio.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "sessions/frequency_analysis.hpp"
#include "sessions/frequency_picture.hpp"

namespace velunda {
namespace {

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 2666;

void BM_SpectrumBlock(benchmark::State& state) {
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> in(kBlock), out(kBlock);
  for (size_t i = 0; i < in.size(); ++i) {
    in[i] = static_cast<uint8_t>(byte(gen));
    out[i] = static_cast<uint8_t>(byte(gen));
  }
  auto spectrum = std::make_unique<SpectrumState>();
  SetSpectrumShown(*spectrum, true);
  for (auto _ : state) {
    SpectrumFeed(*spectrum, kRate, in.data(), out.data(), kBlock);
    SpectrumTake(*spectrum, kSpectrumQueue);
    benchmark::DoNotOptimize(spectrum->Input.Average[10]);
  }
  // Seconds per iteration times kRate / kBlock blocks a second, in per cent.
  state.counters["cpu_percent"] = benchmark::Counter(
      1.0 / (100.0 * kRate / kBlock),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SpectrumBlock);

// Ten a second while the window is shown.
void BM_SpectrumPicture(benchmark::State& state) {
  auto spectrum = std::make_unique<SpectrumState>();
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kPasseBande);
  for (auto _ : state) {
    benchmark::DoNotOptimize(PictureOf(*spectrum, *dsp));
  }
  state.counters["cpu_percent"] =
      benchmark::Counter(1.0 / (100.0 * 10), benchmark::Counter::kIsIterationInvariantRate |
                                                 benchmark::Counter::kInvert);
}
BENCHMARK(BM_SpectrumPicture);

}  // namespace
}  // namespace velunda
