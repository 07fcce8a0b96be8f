// CPU cost of the drift control between two devices: per captured block, the control's update
// on the queue's fill and the block resampled at its ratio, then the playback taking its share
// at a clock off by the given ppm (0: the ratio settles and stops changing). Arguments: block
// samples at 8000 Hz (2666 for the normal delay, 128 for the short one) and ppm.
// cpu_percent is the share of one core in real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

#include "audio_io/drift_control.hpp"

namespace velunda {
namespace {

constexpr int32_t kRate = 8000;

void BM_DriftBlock(benchmark::State& state) {
  const auto block = static_cast<int32_t>(state.range(0));
  const double ppm = static_cast<double>(state.range(1));
  std::mt19937 gen(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> in(static_cast<size_t>(block));
  for (auto& b : in) {
    b = static_cast<uint8_t>(byte(gen));
  }
  const double target = 2.0 * block;
  DriftControl control(kRate, target);
  DriftResampler resampler;
  std::deque<uint8_t> queue(static_cast<size_t>(target));
  const double taken = block * (1.0 + ppm * 1e-6);  // playback samples per captured block
  double owed = 0.0;
  for (auto _ : state) {
    const double ratio = control.Update(static_cast<double>(queue.size()), block);
    resampler.Process(in.data(), in.size(), ratio, queue);
    owed += taken;
    const auto n = std::min(queue.size(), static_cast<size_t>(owed));
    owed -= static_cast<double>(n);
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(n));
  }
  state.counters["ratio_ppm"] = (control.Ratio() - 1.0) * 1e6;
  state.counters["fill"] = static_cast<double>(queue.size());
  // Seconds per block times kRate / block blocks a second, in per cent.
  state.counters["cpu_percent"] = benchmark::Counter(
      1.0 / (100.0 * kRate / block),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DriftBlock)->ArgNames({"block", "ppm"})->ArgsProduct({{2666, 128}, {0, 200}});

}  // namespace
}  // namespace velunda
