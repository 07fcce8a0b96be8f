#pragma once
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/alsa/alsa_pcm.hpp"
#include "platform/alsa/buffer_queue.hpp"
#include "platform/alsa/capture_pacer.hpp"
#include "platform/wake_fd.hpp"

namespace velunda {

// ALSA's own ring buffer: periods of periodUs in a ring of bufferUs; the service thread wakes
// about once a period. A long ring lets capture ride out a thread kept waiting by a busy
// machine. Playback keeps between aheadPeriods - 1 and aheadPeriods periods written ahead of
// the loudspeaker: more rides out longer waits, but a block must be ready that much before it
// plays, so short blocks keep less ahead. Neither changes the delay heard, which is the
// sessions' two blocks.
//
// For short blocks the playback follows the capture instead (see CapturePacer): it starts
// leadUs of silence behind, and the delay heard is two blocks plus that lead; silence fills in
// only should ALSA's fill come down to floorUs. Wide samples cross to the device in 16 bits,
// which halves the shortest period PulseAudio's plugin grants (128 bytes: 16 ms of 8-bit mono
// at 8000 Hz).
struct AlsaTiming {
  uint32_t periodUs = 10000;
  uint32_t bufferUs = 250000;
  uint32_t aheadPeriods = 12;
  bool followCapture = false;
  bool wideSamples = false;
  uint32_t leadUs = 0;
  uint32_t floorUs = 0;
};
// For short blocks (16 ms): periods of a block, a lead of 24 ms, a floor of 8 ms. Through
// PulseAudio a period is how often the server mixes and sends, each time waking its client
// thread in our process: half-block periods cost half as many wake-ups again. A server that
// runs dry on a loaded machine costs a silence, not sound (see RecoverPlayback). A playback
// with no capture to follow (another device's) keeps three periods ahead.
inline constexpr AlsaTiming kShortBlockTiming{16000, 250000, 3, true, true, 24000, 8000};

// Runs the thread that creates it at the service threads' real-time priority where the system
// grants it (root, or a raised RLIMIT_RTPRIO; otherwise nothing changes), until destroyed: the
// thread's own scheduling comes back then, whichever thread destroys it.
class ServicePriority {
 public:
  ServicePriority();
  ~ServicePriority();
  ServicePriority(const ServicePriority&) = delete;
  ServicePriority& operator=(const ServicePriority&) = delete;

 private:
  pthread_t thread_;
  bool saved_ = false;
  int policy_ = SCHED_OTHER;
  sched_param param_{};
};

// One direction of an ALSA sound card with its own service thread, the stand-in for a card's
// driver: it keeps ALSA's short ring buffer fed (playback) or emptied (capture) and moves the
// bytes between it and the queued buffers, whatever the program's thread is busy with. It
// touches only the buffers' bytes and its own bookkeeping; the caller collects the finished
// buffers on its own thread and does all header and notice work there, woken through
// `activity`. The thread sleeps in poll() until ALSA wants service (about once a period) and
// not at all while the stream is stopped.
class AlsaStream {
 public:
  AlsaStream(PcmDirection direction, std::mutex& mutex, WakeFd& activity, AlsaTiming timing);
  ~AlsaStream();
  AlsaStream(const AlsaStream&) = delete;
  AlsaStream& operator=(const AlsaStream&) = delete;

  // 0 or a positive errno.
  int Open(const std::string& device, uint32_t rate);
  int Close();
  bool IsOpen() const { return open_; }
  // Capture: paces `playback` (a stream of the same card, under the same mutex) when the timing
  // says it follows the capture. Set once, before either opens.
  void Lead(AlsaStream& playback);

  // Caller holds the mutex for these. Once the stream broke for good (device gone), Queue and
  // Start refuse with the errno that broke it; the buffers it held come back as finished.
  int Queue(BufferQueue::Tag tag, uint8_t* data, uint32_t length);
  int Start();  // capture: starts recording; playback starts with the first queued buffer
  // Stops the stream and hands back every buffer still queued, in order (collect the
  // finished ones first).
  int Reset(std::vector<BufferQueue::Tag>& returned);
  // Moves the buffers finished since the last call into `finished`.
  void Collect(std::vector<BufferQueue::Tag>& finished);
  bool HasFinished() const { return !finished_.empty(); }
  uint32_t Progress(BufferQueue::Tag tag) const { return queue_.Progress(tag); }
  size_t Queued() const { return queue_.Size(); }
  // Capture: how many times ALSA's ring ran over since the stream was made.
  uint32_t Overruns() const { return overruns_; }

 private:
  void Run();
  // One service round; caller holds the mutex. 0, or the errno that broke the stream for good.
  // `moved` tells whether any audio went through.
  int Service(bool& moved);
  int ServiceCapture(bool& moved);
  int RecoverCapture(int negativeError);
  int RecoverPlayback(int negativeError);
  void RanDry();
  void NoteFill(size_t fill);
  void Stage();
  int ServicePlayback(bool& moved);
  int ServiceFollowing(bool& moved);
  // Playback, caller holds the mutex: how long until ALSA's fill needs service again.
  std::chrono::microseconds PlaybackQuiet();
  // Playback, caller holds the mutex: the leading capture got its first frames since it
  // started, or had a buffer of `frames` handed back.
  void CaptureBegan();
  void CaptureReturned(size_t frames);
  // Marks the stream broken by `err` (if not 0) and wakes the program when buffers finished.
  void Settle(int err, size_t finishedBefore);
  // Playback following a capture that has not started yet: nothing to write.
  bool Waiting() const;
  // Wakes the thread (new work, stop).
  void Kick() { kick_.Notify(); }

  const PcmDirection direction_;
  const AlsaTiming timing_;
  std::mutex& mutex_;
  WakeFd& activity_;
  WakeFd kick_;
  AlsaPcm pcm_;
  BufferQueue queue_;
  std::vector<BufferQueue::Tag> finished_;
  std::vector<uint8_t> scratch_;
  bool open_ = false;
  bool running_ = false;       // capture started, or playback fed since open or reset
  int broken_ = 0;             // errno that broke the stream, 0 while it works
  uint32_t rate_ = 0;          // frames a second
  uint32_t targetFill_ = 0;    // playback: frames kept ahead in ALSA's buffer
  uint32_t floorFrames_ = 0;   // playback following the capture: see AlsaTiming
  uint32_t restartLead_ = 0;   // playback: silence written first after ALSA ran dry
  size_t restartSilence_ = 0;  // playback: what is left of it to write
  std::chrono::steady_clock::time_point dryAt_{};  // playback: when the last write runs dry
  AlsaStream* follower_ = nullptr;                 // capture: the playback it paces
  const AlsaStream* leader_ = nullptr;             // playback: the capture that paces it
  uint32_t overruns_ = 0;
  // Playback following the capture: the first frames of the queue as they were when made.
  std::vector<uint8_t> staged_;
  std::vector<uint8_t> peek_;
  bool following_ = false;  // playback: paced since the first buffer was queued
  CapturePacer pacer_{0, 0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace velunda
