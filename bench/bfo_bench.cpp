// CPU cost of the digital BFO at 1024 points and 6250 Hz, through the block dispatch in
// buffers of 2048 samples. x_realtime is seconds of audio per second of CPU.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "dsp/process_block.hpp"

namespace velunda {
namespace {

constexpr int32_t kRate = 6250;

std::unique_ptr<DspState> Bfo(int32_t shift, bool inverted) {
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kBfoNumerique);
  dsp->SampleRate = kRate;
  dsp->Transform.TransformSize = 1024;
  dsp->Transform.WindowEnabled = false;
  TransformInit(dsp->Transform);
  dsp->Bfo.BfoShift = shift;
  dsp->Bfo.BfoInverted = inverted;
  return dsp;
}

void BM_Bfo(benchmark::State& state) {
  auto dsp = Bfo(static_cast<int32_t>(state.range(0)), state.range(1) != 0);
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> byte(0, 255);
  // Seven sub-blocks: about 1.15 s of audio.
  std::vector<uint8_t> input(7 * 1024);
  for (auto& b : input) {
    b = static_cast<uint8_t>(byte(gen));
  }
  std::vector<uint8_t> output(input.size());
  for (auto _ : state) {
    for (size_t at = 0; at < input.size(); at += 2048) {
      dsp->BlockLength = static_cast<int32_t>(std::min<size_t>(2048, input.size() - at));
      ProcessBlock(*dsp, input.data() + at, output.data() + at);
    }
    benchmark::DoNotOptimize(output.data());
  }
  const double audioSeconds = static_cast<double>(input.size()) / kRate;
  state.counters["x_realtime"] = benchmark::Counter(
      audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Bfo)->Args({0, 0})->Args({-40, 1})->Unit(benchmark::kMillisecond);

void BM_TransformInit(benchmark::State& state) {
  auto dsp = Bfo(0, false);
  for (auto _ : state) {
    TransformInit(dsp->Transform);
    benchmark::DoNotOptimize(dsp->Transform.CosineTable.data());
  }
}

BENCHMARK(BM_TransformInit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
