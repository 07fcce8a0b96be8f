#include "audio_io/drift_control.hpp"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace velunda {
namespace {

constexpr double kSmoothingSeconds = 4.0;  // the fill's average, over the playback's steps
constexpr double kLoopSeconds = 20.0;      // the loop's time constant, critically damped
constexpr double kMaxIoRatio = 2.0;        // soxr's variable range, far past kMaxCorrection

soxr_t Handle(void* h) { return static_cast<soxr_t>(h); }

}  // namespace

DriftControl::DriftControl(int32_t rate, double target) : rate_(rate), target_(target) {}

double DriftControl::Update(double fill, int32_t blockSamples) {
  const double dt = blockSamples / rate_;
  smoothed_ = smoothed_ < 0.0
                  ? fill
                  : smoothed_ + (fill - smoothed_) * std::min(1.0, dt / kSmoothingSeconds);
  const double error = smoothed_ - target_;
  const double omega = 1.0 / kLoopSeconds;
  const double kp = 2.0 * omega / rate_;
  const double ki = omega * omega / rate_;
  const double wanted = -(kp * error + ki * (integral_ + error * dt));
  const bool pinned = std::abs(wanted) >= kMaxCorrection;
  // No wind-up: the integral stops while the correction is at its limit.
  if (!pinned) {
    integral_ += error * dt;
  }
  correction_ = std::clamp(wanted, -kMaxCorrection, kMaxCorrection);
  pinnedSeconds_ += pinned ? dt : 0.0;
  return Ratio();
}

DriftResampler::DriftResampler() {
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_VR);
  handle_ = soxr_create(kMaxIoRatio, 1.0, 1, &error, &io, &quality, nullptr);
  if (handle_ == nullptr || error != nullptr) {
    throw std::runtime_error("soxr");
  }
  soxr_set_io_ratio(Handle(handle_), 1.0, 0);
}

DriftResampler::~DriftResampler() { soxr_delete(Handle(handle_)); }

void DriftResampler::Process(const uint8_t* in, size_t count, double ratio,
                             std::deque<uint8_t>& out) {
  if (ratio != ratio_) {
    // soxr's ratio is input per output; the change glides over this block's output.
    soxr_set_io_ratio(Handle(handle_), 1.0 / ratio, static_cast<size_t>(count));
    ratio_ = ratio;
  }
  std::array<float, 256> from{};
  std::array<float, 512> to{};
  size_t at = 0;
  size_t made = 0;
  do {
    const size_t n = std::min(from.size(), count - at);
    for (size_t i = 0; i < n; ++i) {
      from[i] = static_cast<float>(in[at + i] - 128) / 128.0F;
    }
    size_t used = 0;
    soxr_process(Handle(handle_), from.data(), n, &used, to.data(), to.size(), &made);
    for (size_t i = 0; i < made; ++i) {
      const long v = std::lrint(to[i] * 128.0F) + 128;
      out.push_back(static_cast<uint8_t>(std::clamp(v, 0L, 255L)));
    }
    at += used;
  } while (at < count || made == to.size());
}

}  // namespace velunda
