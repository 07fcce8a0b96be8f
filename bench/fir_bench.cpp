// CPU cost of the fixed FIR filters: one iteration is one second of audio at 8000 Hz through
// 1000 taps, so the time per iteration is the CPU time per second of audio. The previous
// kernel (32-bit history) and the step as worded run in the same binary for the ratios.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "dsp/process_block.hpp"

namespace velunda {
namespace {

constexpr int32_t kRate = 8000;

std::vector<uint8_t> Noise() {
  std::mt19937 gen(1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> v(kRate);
  for (auto& b : v) {
    b = static_cast<uint8_t>(byte(gen));
  }
  return v;
}

void SetRealTime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

std::unique_ptr<DspState> Designed(std::string_view kind) {
  auto dsp = std::make_unique<DspState>();
  dsp->FilterKind = std::string(kind);
  dsp->SampleRate = kRate;
  dsp->BlockLength = kRate / 3;
  dsp->PasseBas.LowPassTapCount = 1000;
  dsp->PasseBande.BandPassTapCount = 1000;
  LowPassDesign(*dsp);
  if (kind == kPasseBande) {
    BandPassSetup(*dsp);
  }
  return dsp;
}

template <void (*Step)(DspState&)>
void BM_Step(benchmark::State& state, std::string_view kind) {
  auto dsp = Designed(kind);
  const auto input = Noise();
  for (auto _ : state) {
    for (uint8_t s : input) {
      dsp->CurrentSample = s;
      Step(*dsp);
      benchmark::DoNotOptimize(dsp->CurrentSample);
    }
  }
  SetRealTime(state);
}

void BM_LowPassStep(benchmark::State& state) { BM_Step<LowPassStep>(state, kPasseBas); }
void BM_BandPassStep(benchmark::State& state) { BM_Step<BandPassStep>(state, kPasseBande); }

// Through the block dispatch, in blocks of a third of a second, as the loop runs it.
void BM_LowPassProcessBlock(benchmark::State& state) {
  auto dsp = Designed(kPasseBas);
  const auto input = Noise();
  std::vector<uint8_t> output(input.size());
  for (auto _ : state) {
    for (size_t at = 0; at + static_cast<size_t>(dsp->BlockLength) <= input.size();
         at += static_cast<size_t>(dsp->BlockLength)) {
      ProcessBlock(*dsp, input.data() + at, output.data() + at);
    }
    benchmark::DoNotOptimize(output.data());
  }
  SetRealTime(state);
}

// The step as worded: a linear history shifted by one each sample, the pairs summed from
// the centre outwards. The reference for the ratio.
void BM_NaiveLowPass(benchmark::State& state) {
  auto dsp = Designed(kPasseBas);
  const std::array<int32_t, 500> c = dsp->Fir.coefficients.values();
  std::array<int32_t, 1000> delay{};
  const auto input = Noise();
  for (auto _ : state) {
    for (uint8_t s : input) {
      delay[0] = 2 * int32_t{s} - 255;
      uint32_t acc = 0;
      for (int k = 0; k < 500; ++k) {
        acc += (static_cast<uint32_t>(delay[499 - k]) + static_cast<uint32_t>(delay[500 + k])) *
               static_cast<uint32_t>(c[k]);
      }
      for (int i = 998; i >= 0; --i) {
        delay[i + 1] = delay[i];
      }
      benchmark::DoNotOptimize(acc);
    }
  }
  SetRealTime(state);
}

// The previous kernel, for the ratio: the same rings on a 32-bit history, 32-bit lanes.
void BM_LowPass32BitHistory(benchmark::State& state) {
  auto dsp = Designed(kPasseBas);
  auto history = std::make_unique<FirHistory>();
  const auto input = Noise();
  for (auto _ : state) {
    for (uint8_t s : input) {
      FirHistorySetNewest(*history, FirInputValue(s));
      const int32_t acc = FirPairSum(*history, dsp->Fir.coefficients, 500) / 100000;
      FirHistoryAge(*history);
      benchmark::DoNotOptimize(acc);
    }
  }
  SetRealTime(state);
}

// Each pair-sum variant the processor runs, one sample at a time (rows 1) and in whole blocks
// (four samples a pass).
void BM_Variant(benchmark::State& state, FirKernelVariant variant, bool blocks) {
  auto dsp = Designed(kPasseBas);
  const auto input = Noise();
  std::vector<uint8_t> output(input.size());
  for (auto _ : state) {
    if (blocks) {
      FixedFirBlock(dsp->Fir, input.data(), output.data(), static_cast<int32_t>(input.size()),
                    variant);
    } else {
      for (size_t i = 0; i < input.size(); ++i) {
        output[i] = FirOutputByte(SymmetricFirFilter(dsp->Fir, input[i], variant));
      }
    }
    benchmark::DoNotOptimize(output.data());
  }
  SetRealTime(state);
}

const bool kVariantsRegistered = [] {
  for (const FirKernelVariant& v : SupportedFirKernels()) {
    for (const bool blocks : {false, true}) {
      const std::string name =
          std::string("BM_Kernel/") + std::string(v.name) + (blocks ? "/blocks" : "/samples");
      benchmark::RegisterBenchmark(name.c_str(), BM_Variant, v, blocks)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

BENCHMARK(BM_LowPassStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandPassStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LowPassProcessBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NaiveLowPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LowPass32BitHistory)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velunda
