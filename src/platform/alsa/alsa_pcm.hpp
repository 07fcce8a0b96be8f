#pragma once
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace velunda {

enum class PcmDirection { Capture, Playback };

// Sizes of ALSA's own ring buffer, in frames (one frame is one byte: 8-bit mono).
struct PcmGeometry {
  uint32_t periodFrames = 0;
  uint32_t bufferFrames = 0;
};

// One ALSA PCM in 8-bit unsigned mono at a fixed rate, non-blocking. Errors are returned as
// positive errno values, the codes the wave layer shows in its messages.
class AlsaPcm {
 public:
  AlsaPcm() = default;
  ~AlsaPcm();
  AlsaPcm(const AlsaPcm&) = delete;
  AlsaPcm& operator=(const AlsaPcm&) = delete;

  // Opens `name` and sets U8 (or S16 when `wide`: the samples are converted here, exactly),
  // one channel, exactly `rate`, a period and buffer near the times asked (microseconds).
  // Playback starts by itself once two periods are in the buffer; capture waits for Start.
  int Open(const std::string& name, PcmDirection direction, uint32_t rate, uint32_t periodUs,
           uint32_t bufferUs, bool wide = false);
  int Close();
  bool IsOpen() const { return pcm_ != nullptr; }
  PcmGeometry Geometry() const { return geometry_; }

  // Frames that can be read (capture) or written (playback) now; a negative errno on failure.
  long Avail();
  // Frames moved, 0 when the device has nothing or no room; a negative errno on failure. At
  // most a buffer's worth at a time.
  long Read(uint8_t* data, size_t frames);
  long Write(const uint8_t* data, size_t frames);
  // Brings the stream back after an overrun or underrun; 0 or a positive errno.
  int Recover(int negativeError);
  int Start();
  int Drop();
  int Prepare();

  // Waking on the device: its descriptors are appended to `fds` for poll() (0 or a positive
  // errno); after the poll, Revents lets ALSA read what they say (1: ready, 0: not, or a
  // negative errno).
  int PollDescriptors(std::vector<pollfd>& fds);
  int Revents(std::vector<pollfd>& fds);
  // The room (playback) or frames (capture) at which the descriptors turn ready.
  int SetWakeThreshold(uint32_t frames);
  // Playback: the frames written at which it starts by itself.
  int SetStartThreshold(uint32_t frames);

 private:
  snd_pcm_t* pcm_ = nullptr;
  PcmDirection direction_ = PcmDirection::Capture;
  PcmGeometry geometry_;
  std::vector<int16_t> wide_;  // the samples as the device takes them, when 16-bit
};

// Whether `name` can be opened for `direction` (0) or the positive errno that refused it.
int ProbePcm(const std::string& name, PcmDirection direction);

// Whether `name` accepts 11025 Hz mono U8 for `direction`, in `accepted`; returns 0, or the
// positive errno that refused the open (then `accepted` is false).
int AcceptsMinimumFormat(const std::string& name, PcmDirection direction, bool& accepted);

}  // namespace velunda
