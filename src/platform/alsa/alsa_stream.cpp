#include "platform/alsa/alsa_stream.hpp"

#include <poll.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>

namespace velunda {
namespace {

// Longest sleep while the stream runs, in periods, should a device never signal readiness.
constexpr uint32_t kLongestSleepPeriods = 2;
// After a wake that found nothing to move: some plugins report a stream as ready when it is
// not, and the thread must not spin on them.
constexpr auto kPause = std::chrono::milliseconds(5);
// A device that never keeps time (ALSA's null, a faulty plugin) is always ready: rounds that
// move sound are kept this far apart, so a real-time thread cannot take a processor for itself.
constexpr auto kShortestRound = std::chrono::milliseconds(2);
constexpr uint8_t kSilence = 128;
// Silence before the sound when a playback that does not follow the capture starts again after
// running dry: more than PulseAudio was seen to drop then (15 ms). A following playback takes
// its own lead again.
constexpr uint32_t kRestartLeadUs = 24000;
// A playback's dryAt_ before its first write since it started.
constexpr auto kNotWritten = std::chrono::steady_clock::time_point::max();
// Above every normal program, below the sound servers' own threads (PulseAudio asks for 5).
constexpr int kRealTimePriority = 3;

// A driver's thread must not wait behind busy programs: real-time scheduling where the
// system grants it (root, or a raised RLIMIT_RTPRIO), else the normal policy, silently. It only
// ever sleeps in poll() or for a short pause, so it cannot keep the processor to itself.
void RaisePriority() {
  sched_param param{};
  param.sched_priority = std::min(kRealTimePriority, sched_get_priority_max(SCHED_FIFO));
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

ServicePriority::ServicePriority() : thread_(pthread_self()) {
  saved_ = pthread_getschedparam(thread_, &policy_, &param_) == 0;
  if (saved_) {
    RaisePriority();
  }
}

ServicePriority::~ServicePriority() {
  if (saved_) {
    pthread_setschedparam(thread_, policy_, &param_);
  }
}

AlsaStream::AlsaStream(PcmDirection direction, std::mutex& mutex, WakeFd& activity,
                       AlsaTiming timing)
    : direction_(direction), timing_(timing), mutex_(mutex), activity_(activity) {}

AlsaStream::~AlsaStream() { Close(); }

int AlsaStream::Open(const std::string& device, uint32_t rate) {
  int err = 0;
  {
    // alsa-lib's plugins may start threads of their own that carry the audio (PulseAudio's
    // client loop does, and it writes our samples to the server). A new thread inherits its
    // creator's scheduling, so the device is opened at the service threads' priority.
    const ServicePriority priority;
    err = pcm_.Open(device, direction_, rate, timing_.periodUs, timing_.bufferUs,
                    timing_.wideSamples);
  }
  if (err != 0) {
    return err;
  }
  rate_ = rate;
  const PcmGeometry g = pcm_.Geometry();
  targetFill_ = std::min(g.bufferFrames, timing_.aheadPeriods * g.periodFrames);
  if (direction_ == PcmDirection::Playback) {
    // Ready once a period has played out of the target.
    const uint32_t wakeRoom = g.bufferFrames - targetFill_ + g.periodFrames;
    if (const int err = pcm_.SetWakeThreshold(std::min(wakeRoom, g.bufferFrames))) {
      pcm_.Close();
      return err;
    }
  }
  const auto frames = [rate](uint32_t us) {
    return static_cast<uint32_t>(static_cast<uint64_t>(us) * rate / 1000000);
  };
  floorFrames_ = frames(timing_.floorUs);
  pacer_ = CapturePacer(frames(timing_.leadUs), floorFrames_);
  restartLead_ = frames(kRestartLeadUs);
  restartSilence_ = 0;
  dryAt_ = kNotWritten;
  scratch_.assign(std::max<uint32_t>(g.bufferFrames, 1), kSilence);
  open_ = true;
  running_ = false;
  broken_ = 0;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return 0;
}

void AlsaStream::Lead(AlsaStream& playback) {
  if (timing_.followCapture) {
    follower_ = &playback;
    playback.leader_ = this;
  }
}

int AlsaStream::Close() {
  if (!open_) {
    return 0;
  }
  stop_ = true;
  Kick();
  thread_.join();
  std::lock_guard lock(mutex_);
  open_ = false;
  running_ = false;
  std::vector<BufferQueue::Tag> dropped;
  queue_.Flush(dropped);
  staged_.clear();
  finished_.clear();
  return pcm_.Close();
}

int AlsaStream::Queue(BufferQueue::Tag tag, uint8_t* data, uint32_t length) {
  if (broken_ != 0) {
    return broken_;
  }
  queue_.Add(tag, data, length);
  if (following_) {
    Stage();
  }
  if (follower_ != nullptr && running_) {
    // Handed back by the program, so the output block it was made into is ready.
    follower_->CaptureReturned(length);
  }
  if (direction_ == PcmDirection::Playback && !running_) {
    running_ = true;
    following_ = leader_ != nullptr && leader_->open_;
    if (following_) {
      pacer_.Reset();
      staged_.clear();
      // Woken only should the capture stall and ALSA's fill come down to the floor; playing
      // from the lead of silence on, however long the periods.
      const uint32_t ring = pcm_.Geometry().bufferFrames;
      if (const int err = pcm_.SetWakeThreshold(ring - std::min(ring, floorFrames_))) {
        return err;
      }
      if (const int err = pcm_.SetStartThreshold(std::max<uint32_t>(1, pacer_.Lead()))) {
        return err;
      }
    }
    Kick();
  }
  return 0;
}

int AlsaStream::Start() {
  if (broken_ != 0) {
    return broken_;
  }
  if (direction_ == PcmDirection::Playback || running_) {
    return 0;
  }
  const int err = pcm_.Start();
  if (err == 0) {
    running_ = true;
    Kick();
  }
  return err;
}

int AlsaStream::Reset(std::vector<BufferQueue::Tag>& returned) {
  queue_.Flush(returned);
  staged_.clear();
  restartSilence_ = 0;
  dryAt_ = kNotWritten;
  running_ = false;
  const int err = pcm_.Drop();
  // Ready to be started or fed again.
  return err != 0 ? err : pcm_.Prepare();
}

void AlsaStream::Collect(std::vector<BufferQueue::Tag>& finished) {
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
}

void AlsaStream::Run() {
  RaisePriority();
  std::vector<pollfd> fds;
  // Rounds that move sound start at least kShortestRound apart; a device that keeps time
  // wakes the thread far less often, and so never waits here.
  std::chrono::steady_clock::time_point nextRound{};
  // Playback: until then ALSA holds enough, and only a kick needs the thread.
  std::chrono::steady_clock::time_point quietUntil{};
  while (!stop_) {
    int timeoutMs = -1;
    bool serve = false;
    {
      std::lock_guard lock(mutex_);
      fds.clear();
      if (running_ && broken_ == 0 && !Waiting()) {
        const auto left = quietUntil - std::chrono::steady_clock::now();
        if (left > decltype(left)::zero()) {
          timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
          serve = true;
        } else if (pcm_.PollDescriptors(fds) == 0) {
          timeoutMs = static_cast<int>(kLongestSleepPeriods * timing_.periodUs / 1000);
          serve = true;
        } else {
          fds.clear();
        }
      }
    }
    fds.push_back({kick_.Fd(), POLLIN, 0});
    ::poll(fds.data(), fds.size(), timeoutMs);
    if ((fds.back().revents & POLLIN) != 0) {
      kick_.Clear();
    }
    fds.pop_back();
    if (!serve) {
      // Stopped or broken: nothing to do until Queue, Start or Close.
      continue;
    }
    if (std::chrono::steady_clock::now() < nextRound) {
      std::this_thread::sleep_until(nextRound);
    }
    const auto roundStart = std::chrono::steady_clock::now();
    bool moved = false;
    bool deviceReady = false;
    std::chrono::microseconds quiet{0};
    {
      std::lock_guard lock(mutex_);
      if (!running_ || broken_ != 0) {
        continue;
      }
      // Lets the device digest what woke it; some plugins need this call to clear their state.
      deviceReady = !fds.empty() && pcm_.Revents(fds) > 0;
      const size_t before = finished_.size();
      Settle(Service(moved), before);
      if (direction_ == PcmDirection::Playback && broken_ == 0) {
        quiet = PlaybackQuiet();
      }
    }
    quietUntil = roundStart + quiet;
    if (moved) {
      nextRound = roundStart + kShortestRound;
    } else if (deviceReady && quiet.count() == 0 && !stop_) {
      // Only a device that said it was ready when it was not; a kick or a timeout that found
      // nothing to do goes straight back to waiting, so a kick that follows is served at once.
      std::this_thread::sleep_for(kPause);
    }
  }
}

// How long ALSA's fill takes to come down to where this stream wants service again: the floor
// when following the capture, a period below the target otherwise; a period at most, as the
// fill a plugin reports may lag behind the device. Devices wake poll() at that point
// themselves, but not all: PulseAudio's plugin reports room as soon as a period is free of its
// whole ring, which would wake the thread every few milliseconds for nothing.
std::chrono::microseconds AlsaStream::PlaybackQuiet() {
  const long avail = pcm_.Avail();
  const PcmGeometry g = pcm_.Geometry();
  if (avail < 0 || rate_ == 0) {
    return std::chrono::microseconds{0};
  }
  const uint64_t fill = g.bufferFrames - std::min<uint64_t>(avail, g.bufferFrames);
  const uint64_t level =
      following_ ? floorFrames_ : targetFill_ - std::min(targetFill_, g.periodFrames);
  if (fill <= level) {
    return std::chrono::microseconds{0};
  }
  return std::chrono::microseconds{std::min<uint64_t>(fill - level, g.periodFrames) * 1000000 /
                                   rate_};
}

void AlsaStream::Settle(int err, size_t finishedBefore) {
  if (err != 0) {
    broken_ = err;
    // Nothing will serve these any more: hand them back so the program sees the failure on its
    // next Queue or Start.
    queue_.Flush(finished_);
    staged_.clear();
  }
  if (finished_.size() != finishedBefore) {
    activity_.Notify();
  }
}

bool AlsaStream::Waiting() const { return following_ && !pacer_.Started(); }

int AlsaStream::Service(bool& moved) {
  return direction_ == PcmDirection::Capture ? ServiceCapture(moved) : ServicePlayback(moved);
}

// At most one ring's worth per round: a device that always has data (ALSA's null) must not
// keep the thread, and the lock, forever. Only what the queued buffers can take is read: while
// the program is late in handing buffers back, the sound waits in ALSA's ring (a quarter of a
// second) instead of being lost.
int AlsaStream::ServiceCapture(bool& moved) {
  const long avail = pcm_.Avail();
  if (avail < 0) {
    return RecoverCapture(static_cast<int>(avail));
  }
  const size_t want = std::min({static_cast<size_t>(avail), scratch_.size(), queue_.Remaining()});
  if (want == 0) {
    return 0;
  }
  const long got = pcm_.Read(scratch_.data(), want);
  if (got < 0) {
    return RecoverCapture(static_cast<int>(got));
  }
  const size_t stored = queue_.Fill(scratch_.data(), static_cast<size_t>(got), finished_);
  moved = got > 0;
  if (follower_ != nullptr && stored > 0) {
    follower_->CaptureBegan();
  }
  return 0;
}

// The ring ran over (the program was late by more than the ring holds): the sound captured
// meanwhile is lost, and counted.
int AlsaStream::RecoverCapture(int negativeError) {
  if (negativeError == -EPIPE) {
    ++overruns_;
  }
  return pcm_.Recover(negativeError);
}

void AlsaStream::CaptureBegan() {
  if (open_ && following_ && !pacer_.Started()) {
    pacer_.Start(queue_.Remaining());
    Stage();
    Kick();
  }
}

void AlsaStream::CaptureReturned(size_t frames) {
  if (open_ && following_) {
    pacer_.Grant(frames);
    Stage();
    Kick();
  }
}

// Tops ALSA's buffer up to the target, reading the queued buffers as late as that allows;
// silence fills in when nothing is queued, so the stream never runs dry.
int AlsaStream::ServicePlayback(bool& moved) {
  if (std::chrono::steady_clock::now() > dryAt_) {
    RanDry();
  }
  if (following_) {
    return ServiceFollowing(moved);
  }
  const long avail = pcm_.Avail();
  if (avail < 0) {
    return RecoverPlayback(static_cast<int>(avail));
  }
  const long fill = static_cast<long>(pcm_.Geometry().bufferFrames) - avail;
  if (fill >= static_cast<long>(targetFill_)) {
    return 0;
  }
  const size_t want = std::min(static_cast<size_t>(targetFill_ - fill), scratch_.size());
  const size_t silence = std::min(restartSilence_, want);
  const size_t queued = queue_.Peek(scratch_.data() + silence, want - silence);
  std::fill_n(scratch_.begin(), silence, kSilence);
  std::fill(scratch_.begin() + static_cast<long>(silence + queued),
            scratch_.begin() + static_cast<long>(want), kSilence);
  const long wrote = pcm_.Write(scratch_.data(), want);
  if (wrote < 0) {
    return RecoverPlayback(static_cast<int>(wrote));
  }
  // Only what ALSA accepted leaves the queue; the rest is written again next round, and a
  // buffer comes back once ALSA has all of it.
  NoteFill(static_cast<size_t>(fill) + static_cast<size_t>(wrote));
  const size_t silenced = std::min(static_cast<size_t>(wrote), silence);
  restartSilence_ -= silenced;
  queue_.Advance(std::min(static_cast<size_t>(wrote) - silenced, queued), finished_);
  moved = wrote > 0;
  return 0;
}

}  // namespace velunda

namespace velunda {

// ALSA ran dry: the program or the whole process was held back longer than what ALSA held.
// The sound then starts again behind a lead of silence, as at first: what comes late plays
// late, and nothing is lost. Without it PulseAudio lost the first few milliseconds written
// after running dry (its plugin opens a new stream; the server rewinds). ALSA does not always
// say it ran dry (a plugin's underrun report can be cleared by the next write), so the clock
// says it too: more time went by since the last write than what ALSA then held, and a period.
int AlsaStream::RecoverPlayback(int negativeError) {
  const int err = pcm_.Recover(negativeError);
  if (err == 0 && negativeError == -EPIPE) {
    RanDry();
  }
  return err;
}

// When ALSA, holding `fill` frames just written, will have run dry.
void AlsaStream::NoteFill(size_t fill) {
  dryAt_ = std::chrono::steady_clock::now() +
           std::chrono::microseconds{(fill + pcm_.Geometry().periodFrames) * 1000000 / rate_};
}

// Called again before the next write, it changes nothing.
void AlsaStream::RanDry() {
  if (following_) {
    pacer_.Restart();
  } else {
    restartSilence_ = restartLead_;
  }
}

// Writes what the pacer allows, as soon as it allows it (called by the capture's thread after
// each capture, and by this stream's thread should ALSA's fill come down to the floor).
int AlsaStream::ServiceFollowing(bool& moved) {
  const long avail = pcm_.Avail();
  if (avail < 0) {
    return RecoverPlayback(static_cast<int>(avail));
  }
  const size_t room = std::min(static_cast<size_t>(avail), scratch_.size());
  const size_t fill =
      pcm_.Geometry().bufferFrames - std::min<size_t>(avail, pcm_.Geometry().bufferFrames);
  const PacedRound round = pacer_.Plan(room, fill, staged_.size());
  const size_t total = round.leadSilence + round.fromQueue + round.gapSilence;
  if (total == 0) {
    return 0;
  }
  std::fill_n(scratch_.begin(), total, kSilence);
  std::copy_n(staged_.begin(), round.fromQueue, scratch_.begin() + round.leadSilence);
  const long wrote = pcm_.Write(scratch_.data(), total);
  if (wrote < 0) {
    return RecoverPlayback(static_cast<int>(wrote));
  }
  NoteFill(fill + static_cast<size_t>(wrote));
  const size_t taken = pacer_.Wrote(round, static_cast<size_t>(wrote));
  staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(taken));
  queue_.Advance(taken, finished_);
  moved = wrote > 0;
  return 0;
}

// Copies each block the moment it is made (granted) or queued, whichever comes later: the
// program makes the block two later into the same buffer, and should this thread be held back
// that long, the buffer would otherwise be read after it was made again.
void AlsaStream::Stage() {
  const size_t made = std::min(pacer_.Credit(), queue_.Remaining());
  if (made <= staged_.size()) {
    return;
  }
  peek_.resize(made);
  queue_.Peek(peek_.data(), made);
  staged_.insert(staged_.end(), peek_.begin() + static_cast<std::ptrdiff_t>(staged_.size()),
                 peek_.end());
}

}  // namespace velunda
