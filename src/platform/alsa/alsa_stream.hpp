#pragma once
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/alsa/alsa_pcm.hpp"
#include "platform/alsa/buffer_queue.hpp"
#include "platform/wake_fd.hpp"

namespace velunda {

// ALSA's own ring buffer: periods of periodUs in a ring of bufferUs; the service thread wakes
// about once a period. A long ring lets capture ride out a thread kept waiting by a busy
// machine. Playback keeps between aheadPeriods - 1 and aheadPeriods periods written ahead of
// the loudspeaker: more rides out longer waits, but a block must be ready that much before it
// plays, so short blocks keep less ahead. Neither changes the delay heard, which is the
// sessions' two blocks.
struct AlsaTiming {
  uint32_t periodUs = 10000;
  uint32_t bufferUs = 250000;
  uint32_t aheadPeriods = 12;
};
// For blocks of about a tenth of a second.
inline constexpr AlsaTiming kShortBlockTiming{10000, 250000, 3};

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

 private:
  void Run();
  // One service round; caller holds the mutex. 0, or the errno that broke the stream for good.
  // `moved` tells whether any audio went through.
  int Service(bool& moved);
  int ServiceCapture(bool& moved);
  int ServicePlayback(bool& moved);
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
  bool running_ = false;     // capture started, or playback fed since open or reset
  int broken_ = 0;           // errno that broke the stream, 0 while it works
  uint32_t targetFill_ = 0;  // playback: frames kept ahead in ALSA's buffer
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace velunda
