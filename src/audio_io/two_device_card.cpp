#include "audio_io/two_device_card.hpp"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace velunda {
namespace {

void AddToEpoll(int epollFd, int fd) {
  if (fd >= 0) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event);
  }
}

}  // namespace

TwoDeviceCard::TwoDeviceCard(std::unique_ptr<SoundCard> capture,
                             std::unique_ptr<SoundCard> playback, DriftTiming timing)
    : capture_(std::move(capture)),
      playback_(std::move(playback)),
      timing_(timing),
      in_(*this),
      out_(*this) {
  // One descriptor for a caller that sleeps on the card: readable when either device is.
  if (capture_->ActivityFd() >= 0 || playback_->ActivityFd() >= 0) {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    AddToEpoll(epollFd_, capture_->ActivityFd());
    AddToEpoll(epollFd_, playback_->ActivityFd());
  }
}

TwoDeviceCard::~TwoDeviceCard() {
  if (epollFd_ >= 0) {
    ::close(epollFd_);
  }
}

uint32_t TwoDeviceCard::MsUntilService() const {
  return std::min(capture_->MsUntilService(), playback_->MsUntilService());
}

void TwoDeviceCard::WaitForActivity(uint32_t maxMs) {
  const uint32_t limit = std::min(maxMs, MsUntilService());
  if (limit > 0 && epollFd_ >= 0) {
    pollfd fd{epollFd_, POLLIN, 0};
    ::poll(&fd, 1, static_cast<int>(std::min<uint32_t>(limit, 1u << 30)));
  } else if (limit > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(limit));
  }
  capture_->WaitForActivity(0);
  playback_->WaitForActivity(0);
  out_.Feed();
}

// ---- input: the capture card's ----

uint16_t TwoDeviceCard::In::DeviceCount() { return card_.capture_->Input().DeviceCount(); }

uint32_t TwoDeviceCard::In::GetCapabilities(uint32_t& formats) {
  return card_.capture_->Input().GetCapabilities(formats);
}

uint32_t TwoDeviceCard::In::Open(const WaveFormat& format, NoticeSink& window) {
  window_ = &window;
  return card_.capture_->Input().Open(format, *this);
}

uint32_t TwoDeviceCard::In::PrepareHeader(WaveHeader& h) {
  return card_.capture_->Input().PrepareHeader(h);
}

uint32_t TwoDeviceCard::In::UnprepareHeader(WaveHeader& h) {
  return card_.capture_->Input().UnprepareHeader(h);
}

uint32_t TwoDeviceCard::In::AddBuffer(WaveHeader& h) {
  return card_.capture_->Input().AddBuffer(h);
}

uint32_t TwoDeviceCard::In::Start() { return card_.capture_->Input().Start(); }

uint32_t TwoDeviceCard::In::Reset() { return card_.capture_->Input().Reset(); }

uint32_t TwoDeviceCard::In::Close() { return card_.capture_->Input().Close(); }

void TwoDeviceCard::In::PostNotice(uint32_t message, WaveHeader* header) {
  window_->PostNotice(message, header);
  if (message == MM_WIM_DATA && header != nullptr) {
    card_.out_.Advance(header->dwBytesRecorded);
  }
}

void TwoDeviceCard::PlaybackSink::PostNotice(uint32_t message, WaveHeader* header) {
  if (message == MM_WOM_DONE && header != nullptr) {
    returned.push_back(header);
  }
}

// ---- output: the session's buffers at the capture's pace, the playback card's buffers ----

uint16_t TwoDeviceCard::Out::DeviceCount() { return card_.playback_->Output().DeviceCount(); }

uint32_t TwoDeviceCard::Out::GetCapabilities(uint32_t& formats) {
  return card_.playback_->Output().GetCapabilities(formats);
}

uint32_t TwoDeviceCard::Out::Open(const WaveFormat& format, NoticeSink& window) {
  if (open_) {
    return kMmErrorAllocated;
  }
  WaveOut& device = card_.playback_->Output();
  if (const uint32_t code = device.Open(format, sink_)) {
    return code;
  }
  const DriftTiming& t = card_.timing_;
  const auto block = static_cast<size_t>(t.playbackBlock);
  memory_.assign(static_cast<size_t>(t.playbackBuffers), std::vector<uint8_t>(block, 128));
  buffers_.assign(memory_.size(), WaveHeader{});
  free_.clear();
  for (size_t i = 0; i < buffers_.size(); ++i) {
    buffers_[i].lpData = memory_[i].data();
    buffers_[i].dwBufferLength = static_cast<uint32_t>(block);
    if (const uint32_t code = device.PrepareHeader(buffers_[i])) {
      for (WaveHeader* prepared : free_) {
        device.UnprepareHeader(*prepared);
      }
      device.Close();
      return code;
    }
    free_.push_back(&buffers_[i]);
  }
  window_ = &window;
  rate_ = static_cast<int32_t>(format.nSamplesPerSec);
  control.emplace(rate_, static_cast<double>(Aim()));
  resampler_ = std::make_unique<DriftResampler>();
  figures = DriftFigures{};
  settleAt_ = uint64_t{60} * static_cast<uint64_t>(rate_);
  sound_.clear();
  queue_.clear();
  headOffset_ = 0;
  headStarted_ = false;
  playing_ = false;
  primed_ = false;
  capturing_ = false;
  open_ = true;
  return kWaveOk;
}

uint32_t TwoDeviceCard::Out::PrepareHeader(WaveHeader& header) {
  if (!open_) {
    return kMmErrorInvalidHandle;
  }
  header.dwFlags |= WHDR_PREPARED;
  return kWaveOk;
}

uint32_t TwoDeviceCard::Out::UnprepareHeader(WaveHeader& header) {
  if (!open_) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags &= ~WHDR_PREPARED;
  return kWaveOk;
}

uint32_t TwoDeviceCard::Out::Write(WaveHeader& header) {
  if (!open_) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_PREPARED) == 0) {
    return kWaveErrorUnprepared;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  if (control->OutOfRange()) {
    return kClocksTooFarApart;
  }
  header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  queue_.push_back(&header);
  if (!headStarted_) {
    StartHead();
  }
  return kWaveOk;
}

uint32_t TwoDeviceCard::Out::Reset() {
  if (!open_) {
    return kMmErrorInvalidHandle;
  }
  const uint32_t code = card_.playback_->Output().Reset();
  Feed();  // takes back the returned buffers; nothing plays any more
  while (!queue_.empty()) {
    WaveHeader* h = queue_.front();
    queue_.pop_front();
    Return(*h);
  }
  headOffset_ = 0;
  headStarted_ = false;
  sound_.clear();
  playing_ = false;
  primed_ = false;
  capturing_ = false;
  resampler_ = std::make_unique<DriftResampler>();
  return code;
}

uint32_t TwoDeviceCard::Out::Close() {
  if (!open_) {
    return kMmErrorInvalidHandle;
  }
  if (!queue_.empty()) {
    return kWaveErrorStillPlaying;
  }
  WaveOut& device = card_.playback_->Output();
  if (free_.size() + sink_.returned.size() < buffers_.size()) {
    device.Reset();
  }
  sink_.returned.clear();
  for (WaveHeader& h : buffers_) {
    device.UnprepareHeader(h);
  }
  open_ = false;
  playing_ = false;
  return device.Close();
}

size_t TwoDeviceCard::Out::Aim() const {
  const DriftTiming& t = card_.timing_;
  return static_cast<size_t>(t.playbackBlock + rate_ * t.marginMs / 1000);
}

void TwoDeviceCard::Out::Return(WaveHeader& header) {
  header.dwFlags = (header.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  window_->PostNotice(MM_WOM_DONE, &header);
}

void TwoDeviceCard::Out::Advance(uint64_t count) {
  capturing_ = capturing_ || count > 0;
  while (open_ && count > 0 && !queue_.empty()) {
    if (!headStarted_) {
      StartHead();
    }
    WaveHeader* h = queue_.front();
    const auto n =
        static_cast<uint32_t>(std::min<uint64_t>(count, h->dwBufferLength - headOffset_));
    headOffset_ += n;
    count -= n;
    if (headOffset_ == h->dwBufferLength) {
      queue_.pop_front();
      headOffset_ = 0;
      headStarted_ = false;
      Return(*h);
      if (!queue_.empty()) {
        StartHead();
      }
    }
  }
}

void TwoDeviceCard::Out::StartHead() {
  const WaveHeader& h = *queue_.front();
  headStarted_ = true;
  lastBlock_ = h.dwBufferLength;
  if (playing_ && !primed_) {
    // The first block since the playback started: the device has taken its own lead from the
    // queue by now. The queue is brought to its aim once, rather than the control stretching
    // or squeezing the sound for tens of seconds to get there: silence added when the device
    // took more, the opening silence in front dropped when it took less (never sound).
    primed_ = true;
    if (sound_.size() < Aim()) {
      sound_.insert(sound_.begin(), Aim() - sound_.size(), uint8_t{128});
    } else {
      const auto excess = static_cast<ptrdiff_t>(sound_.size() - Aim());
      const auto silent =
          std::find_if(sound_.begin(), sound_.begin() + excess, [](uint8_t v) { return v != 128; });
      sound_.erase(sound_.begin(), silent);
    }
  }
  const auto fill = static_cast<int64_t>(sound_.size());
  double ratio = control->Ratio();
  if (playing_) {
    ratio = control->Update(static_cast<double>(fill), static_cast<int32_t>(h.dwBufferLength));
    if (figures.pushed >= settleAt_) {
      figures.lowestFill = figures.lowestFill < 0 ? fill : std::min(figures.lowestFill, fill);
      figures.highestFill = std::max(figures.highestFill, fill);
    }
  }
  figures.ratio = ratio;
  const size_t before = sound_.size();
  resampler_->Process(h.lpData, h.dwBufferLength, ratio, sound_);
  figures.pushed += sound_.size() - before;
  // Past four blocks beyond the aim the playback has stopped taking: the oldest sound goes.
  const DriftTiming& t = card_.timing_;
  const size_t cap = Aim() + 4 * h.dwBufferLength +
                     static_cast<size_t>(t.playbackBlock) * static_cast<size_t>(t.playbackBuffers);
  if (sound_.size() > cap) {
    figures.dropped += sound_.size() - cap;
    sound_.erase(sound_.begin(), sound_.begin() + static_cast<ptrdiff_t>(sound_.size() - cap));
  }
  Feed();
}

void TwoDeviceCard::Out::Feed() {
  free_.insert(free_.end(), sink_.returned.begin(), sink_.returned.end());
  sink_.returned.clear();
  if (!open_) {
    return;
  }
  const DriftTiming& t = card_.timing_;
  const auto block = static_cast<size_t>(t.playbackBlock);
  if (!playing_) {
    // The first buffers go out once the capture runs and the queue holds them, its aim, and
    // the block that plays until the next one comes. What it holds beyond is the session's
    // opening silence, written before the capture started.
    const size_t start = Aim() + block * buffers_.size() + lastBlock_;
    if (!capturing_ || sound_.size() < start) {
      return;
    }
    sound_.erase(sound_.begin(), sound_.end() - static_cast<ptrdiff_t>(start));
    playing_ = true;
  }
  while (!free_.empty()) {
    // Silence only when the device would otherwise run dry.
    const bool starving = free_.size() == buffers_.size();
    if (sound_.size() < block && !starving) {
      return;
    }
    WaveHeader* h = free_.front();
    free_.erase(free_.begin());
    WriteBuffer(*h, sound_.size() < block);
  }
}

void TwoDeviceCard::Out::WriteBuffer(WaveHeader& header, bool pad) {
  const size_t n = std::min<size_t>(header.dwBufferLength, sound_.size());
  std::copy_n(sound_.begin(), n, header.lpData);
  sound_.erase(sound_.begin(), sound_.begin() + static_cast<ptrdiff_t>(n));
  std::fill(header.lpData + n, header.lpData + header.dwBufferLength, uint8_t{128});
  figures.played += header.dwBufferLength;
  if (pad) {
    figures.silence += header.dwBufferLength - n;
  }
  card_.playback_->Output().Write(header);
}

}  // namespace velunda
