#include "platform/alsa/alsa_pcm.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>

#include "platform/alsa/alsa_quiet.hpp"

namespace velunda {
namespace {

int Positive(int negativeError) { return negativeError < 0 ? -negativeError : negativeError; }

snd_pcm_stream_t StreamOf(PcmDirection direction) {
  return direction == PcmDirection::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

// U8 (or S16), mono, interleaved, exactly `rate` (alsa-lib may resample to get it).
int SetBasicFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, uint32_t rate, bool wide = false) {
  int err = snd_pcm_hw_params_any(pcm, hw);
  if (err < 0) {
    return err;
  }
  if ((err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1)) < 0) {
    return err;
  }
  if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0) {
    return err;
  }
  if ((err = snd_pcm_hw_params_set_format(pcm, hw, wide ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_U8)) <
      0) {
    return err;
  }
  if ((err = snd_pcm_hw_params_set_channels(pcm, hw, 1)) < 0) {
    return err;
  }
  return snd_pcm_hw_params_set_rate(pcm, hw, rate, 0);
}

// 8-bit unsigned to 16-bit signed and back, as alsa-lib's own conversion does: the high byte
// carries the sample, so a round trip gives back every byte.
int16_t Widened(uint8_t x) { return static_cast<int16_t>((x - 128) * 256); }
uint8_t Narrowed(int16_t x) { return static_cast<uint8_t>((x >> 8) + 128); }

}  // namespace

AlsaPcm::~AlsaPcm() { Close(); }

int AlsaPcm::Open(const std::string& name, PcmDirection direction, uint32_t rate, uint32_t periodUs,
                  uint32_t bufferUs, bool wide) {
  SilenceAlsaLib();
  Close();
  direction_ = direction;
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), StreamOf(direction), SND_PCM_NONBLOCK);
  if (err < 0) {
    return Positive(err);
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  err = SetBasicFormat(pcm, hw, rate, wide);
  unsigned int period = periodUs;
  unsigned int buffer = bufferUs;
  if (err >= 0) {
    err = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buffer, nullptr);
  }
  if (err >= 0) {
    err = snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, nullptr);
  }
  if (err >= 0) {
    err = snd_pcm_hw_params(pcm, hw);
  }
  snd_pcm_uframes_t periodFrames = 0;
  snd_pcm_uframes_t bufferFrames = 0;
  if (err >= 0) {
    err = snd_pcm_get_params(pcm, &bufferFrames, &periodFrames);
  }
  if (err >= 0) {
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    err = snd_pcm_sw_params_current(pcm, sw);
    if (err >= 0) {
      err = snd_pcm_sw_params_set_avail_min(pcm, sw, periodFrames);
    }
    if (err >= 0) {
      // Capture starts when asked; playback once two periods wait in the buffer.
      const snd_pcm_uframes_t start = direction == PcmDirection::Capture
                                          ? bufferFrames * 2
                                          : std::min(bufferFrames, 2 * periodFrames);
      err = snd_pcm_sw_params_set_start_threshold(pcm, sw, start);
    }
    if (err >= 0) {
      err = snd_pcm_sw_params(pcm, sw);
    }
  }
  if (err < 0) {
    snd_pcm_close(pcm);
    return Positive(err);
  }
  pcm_ = pcm;
  geometry_.periodFrames = static_cast<uint32_t>(periodFrames);
  geometry_.bufferFrames = static_cast<uint32_t>(bufferFrames);
  wide_.assign(wide ? bufferFrames : 0, 0);
  return 0;
}

int AlsaPcm::Close() {
  if (pcm_ == nullptr) {
    return 0;
  }
  const int err = snd_pcm_close(pcm_);
  pcm_ = nullptr;
  geometry_ = {};
  wide_.clear();
  return Positive(err);
}

long AlsaPcm::Avail() { return static_cast<long>(snd_pcm_avail_update(pcm_)); }

long AlsaPcm::Read(uint8_t* data, size_t frames) {
  if (wide_.empty()) {
    const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, data, frames);
    return n == -EAGAIN ? 0 : static_cast<long>(n);
  }
  const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, wide_.data(), std::min(frames, wide_.size()));
  if (n < 0) {
    return n == -EAGAIN ? 0 : static_cast<long>(n);
  }
  std::transform(wide_.begin(), wide_.begin() + n, data, Narrowed);
  return static_cast<long>(n);
}

long AlsaPcm::Write(const uint8_t* data, size_t frames) {
  if (wide_.empty()) {
    const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data, frames);
    return n == -EAGAIN ? 0 : static_cast<long>(n);
  }
  frames = std::min(frames, wide_.size());
  std::transform(data, data + frames, wide_.begin(), Widened);
  const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, wide_.data(), frames);
  return n == -EAGAIN ? 0 : static_cast<long>(n);
}

int AlsaPcm::Recover(int negativeError) {
  int err = snd_pcm_recover(pcm_, negativeError, 1);
  // After a resume the stream may already run; only a prepared capture needs starting.
  if (err >= 0 && direction_ == PcmDirection::Capture &&
      snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
    err = snd_pcm_start(pcm_);
  }
  return Positive(err);
}

int AlsaPcm::Start() { return Positive(snd_pcm_start(pcm_)); }

int AlsaPcm::Drop() { return Positive(snd_pcm_drop(pcm_)); }

int AlsaPcm::Prepare() { return Positive(snd_pcm_prepare(pcm_)); }

int AlsaPcm::PollDescriptors(std::vector<pollfd>& fds) {
  const int count = snd_pcm_poll_descriptors_count(pcm_);
  if (count <= 0) {
    return count < 0 ? Positive(count) : EINVAL;
  }
  const size_t first = fds.size();
  fds.resize(first + static_cast<size_t>(count));
  const int got = snd_pcm_poll_descriptors(pcm_, fds.data() + first, static_cast<unsigned>(count));
  if (got < 0) {
    fds.resize(first);
    return Positive(got);
  }
  fds.resize(first + static_cast<size_t>(got));
  return 0;
}

int AlsaPcm::Revents(std::vector<pollfd>& fds) {
  unsigned short revents = 0;
  const int err = snd_pcm_poll_descriptors_revents(pcm_, fds.data(),
                                                   static_cast<unsigned>(fds.size()), &revents);
  if (err < 0) {
    return err;
  }
  return (revents & (POLLIN | POLLOUT)) != 0 ? 1 : 0;
}

namespace {

// Changes one software parameter of an open PCM, keeping the others.
int SetSoftwareParameter(snd_pcm_t* pcm,
                         int (*set)(snd_pcm_t*, snd_pcm_sw_params_t*, snd_pcm_uframes_t),
                         uint32_t frames) {
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  int err = snd_pcm_sw_params_current(pcm, sw);
  if (err >= 0) {
    err = set(pcm, sw, frames);
  }
  if (err >= 0) {
    err = snd_pcm_sw_params(pcm, sw);
  }
  return Positive(err);
}

}  // namespace

int AlsaPcm::SetWakeThreshold(uint32_t frames) {
  return SetSoftwareParameter(pcm_, snd_pcm_sw_params_set_avail_min, frames);
}

int AlsaPcm::SetStartThreshold(uint32_t frames) {
  return SetSoftwareParameter(pcm_, snd_pcm_sw_params_set_start_threshold, frames);
}

int ProbePcm(const std::string& name, PcmDirection direction) {
  SilenceAlsaLib();
  snd_pcm_t* pcm = nullptr;
  const int err = snd_pcm_open(&pcm, name.c_str(), StreamOf(direction), SND_PCM_NONBLOCK);
  if (err < 0) {
    return Positive(err);
  }
  snd_pcm_close(pcm);
  return 0;
}

int AcceptsMinimumFormat(const std::string& name, PcmDirection direction, bool& accepted) {
  SilenceAlsaLib();
  accepted = false;
  snd_pcm_t* pcm = nullptr;
  const int err = snd_pcm_open(&pcm, name.c_str(), StreamOf(direction), SND_PCM_NONBLOCK);
  if (err < 0) {
    return Positive(err);
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  accepted = SetBasicFormat(pcm, hw, 11025) >= 0;
  snd_pcm_close(pcm);
  return 0;
}

}  // namespace velunda
