#include "platform/alsa/alsa_sound_card.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iostream>

#include "platform/alsa/alsa_pcm.hpp"
#include "platform/program_name.hpp"
#include "platform/sound_devices.hpp"

namespace velunda {
namespace {

uint32_t Code(int positiveErrno) { return static_cast<uint32_t>(positiveErrno); }

}  // namespace

AlsaWaveSide::AlsaWaveSide(AlsaSoundCard& card, PcmDirection direction)
    : card_(card),
      direction_(direction),
      stream_(direction, card.Mutex(), card.Activity(), card.Timing()) {}

uint16_t AlsaWaveSide::DeviceCount() {
  if (stream_.IsOpen()) {
    return 1;
  }
  int err = card_.GateRefusal(direction_);
  if (err == 0) {
    err = ProbePcm(card_.Device(), direction_);
  }
  // Busy is there: another program holds it, and the open will say so.
  if (err == 0 || err == EBUSY) {
    return 1;
  }
  card_.ReportRefusal(direction_, err, 0);
  return 0;
}

uint32_t AlsaWaveSide::GetCapabilities(uint32_t& formats) {
  // One open answers both: can the device be had at all, and does it take our format.
  bool accepted = false;
  int err = card_.GateRefusal(direction_);
  if (err == 0) {
    err = AcceptsMinimumFormat(card_.Device(), direction_, accepted);
  }
  if (err == EBUSY) {
    // Its formats cannot be asked while another program holds it: taken as able, so the
    // open that follows reports the device in use rather than a missing format.
    accepted = true;
    err = 0;
  }
  if (err != 0 && !stream_.IsOpen()) {
    card_.ReportRefusal(direction_, err, 11025);
    return Code(err);
  }
  formats = accepted ? WAVE_FORMAT_1M08 : 0;
  return kWaveOk;
}

uint32_t AlsaWaveSide::Open(const WaveFormat& format, NoticeSink& window) {
  if (stream_.IsOpen()) {
    return Code(EBUSY);
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 1 || format.wBitsPerSample != 8 ||
      format.nSamplesPerSec == 0) {
    return Code(EINVAL);
  }
  int err = card_.GateRefusal(direction_);
  if (err == 0) {
    err = stream_.Open(card_.Device(), format.nSamplesPerSec);
  }
  if (err != 0) {
    card_.ReportRefusal(direction_, err, format.nSamplesPerSec);
    return Code(err);
  }
  window_ = &window;
  queued_.clear();
  if (direction_ == PcmDirection::Capture) {
    sessionPriority_.emplace();
    window.PostNotice(MM_WIM_OPEN, nullptr);
  }
  return kWaveOk;
}

uint32_t AlsaWaveSide::PrepareHeader(WaveHeader& header) {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  header.dwFlags |= WHDR_PREPARED;
  return kWaveOk;
}

uint32_t AlsaWaveSide::UnprepareHeader(WaveHeader& header) {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  Deliver();
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return Code(EBUSY);
  }
  header.dwFlags &= ~WHDR_PREPARED;
  return kWaveOk;
}

uint32_t AlsaWaveSide::Queue(WaveHeader& header) {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  if ((header.dwFlags & WHDR_PREPARED) == 0 || header.lpData == nullptr) {
    return Code(EINVAL);
  }
  Deliver();
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return Code(EBUSY);
  }
  std::lock_guard lock(card_.Mutex());
  const int err = stream_.Queue(&header, header.lpData, header.dwBufferLength);
  if (err != 0) {
    return Code(err);
  }
  header.dwFlags = (header.dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  header.dwBytesRecorded = 0;
  queued_.push_back(&header);
  return kWaveOk;
}

uint32_t AlsaWaveSide::Start() {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  std::lock_guard lock(card_.Mutex());
  return Code(stream_.Start());
}

uint32_t AlsaWaveSide::Reset() {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  std::vector<BufferQueue::Tag> full;
  std::vector<BufferQueue::Tag> returned;
  int err = 0;
  {
    std::lock_guard lock(card_.Mutex());
    stream_.Collect(full);
    SyncProgress(full);
    err = stream_.Reset(returned);
  }
  Finish(full);
  Finish(returned);
  return Code(err);
}

uint32_t AlsaWaveSide::Close() {
  if (!stream_.IsOpen()) {
    return Code(EBADF);
  }
  Deliver();
  if (!queued_.empty()) {
    return Code(EBUSY);
  }
  const int err = stream_.Close();
  sessionPriority_.reset();
  if (direction_ == PcmDirection::Capture && window_ != nullptr) {
    window_->PostNotice(MM_WIM_CLOSE, nullptr);
  }
  window_ = nullptr;
  return Code(err);
}

bool AlsaWaveSide::HasFinished() { return stream_.HasFinished(); }

void AlsaWaveSide::Deliver() {
  if (direction_ == PcmDirection::Capture) {
    card_.Deliver();
  } else {
    DeliverOwn();
  }
}

void AlsaWaveSide::DeliverOwn() {
  if (!stream_.IsOpen()) {
    return;
  }
  std::vector<BufferQueue::Tag> full;
  {
    std::lock_guard lock(card_.Mutex());
    stream_.Collect(full);
    SyncProgress(full);
  }
  Finish(full);
}

// Input headers show the bytes captured so far; a full one its whole length.
void AlsaWaveSide::SyncProgress(const std::vector<BufferQueue::Tag>& full) {
  if (direction_ != PcmDirection::Capture) {
    return;
  }
  for (WaveHeader* h : queued_) {
    const bool isFull = std::find(full.begin(), full.end(), h) != full.end();
    h->dwBytesRecorded = isFull ? h->dwBufferLength : stream_.Progress(h);
  }
}

void AlsaWaveSide::Finish(const std::vector<BufferQueue::Tag>& tags) {
  const uint32_t message = direction_ == PcmDirection::Capture ? MM_WIM_DATA : MM_WOM_DONE;
  for (BufferQueue::Tag tag : tags) {
    auto it = std::find(queued_.begin(), queued_.end(), tag);
    if (it == queued_.end()) {
      continue;
    }
    WaveHeader* h = *it;
    queued_.erase(it);
    h->dwFlags = (h->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE;
    if (window_ != nullptr) {
      window_->PostNotice(message, h);
    }
  }
}

AlsaSoundCard::AlsaSoundCard(std::string device, PcmOpenGate gate, AlsaTiming timing)
    : device_(std::move(device)), gate_(std::move(gate)), timing_(timing), in_(*this), out_(*this) {
  in_.Side().Stream().Lead(out_.Side().Stream());
}

// The refusals are written when the card is put away, so they follow the message box's text.
AlsaSoundCard::~AlsaSoundCard() {
  for (const std::string& line : reports_) {
    std::cerr << line << '\n';
  }
}

void AlsaSoundCard::WaitForActivity(uint32_t maxMs) {
  WaitReadable(activity_.Fd(), -1, static_cast<int>(std::min<uint32_t>(maxMs, 1u << 30)));
  activity_.Clear();
  Deliver();
}

// Output buffers come back to the program before newer input: a session catching up on a
// backlog of captured sound would otherwise make two blocks into an output buffer that was not
// queued again in between, and the first of them would never play.
void AlsaSoundCard::Deliver() {
  out_.Side().DeliverOwn();
  in_.Side().DeliverOwn();
}

void AlsaSoundCard::ReportRefusal(PcmDirection direction, int err, unsigned rate) {
  const std::string line = ProgramLine("périphérique « " + device_ + " », " +
                                       (direction == PcmDirection::Capture ? "entrée" : "sortie") +
                                       " : " + DeviceFailureReason(err, rate));
  if (reports_.empty() || reports_.back() != line) {
    reports_.push_back(line);
  }
}

uint32_t AlsaSoundCard::CaptureOverruns() {
  std::lock_guard lock(mutex_);
  return in_.Side().Stream().Overruns();
}

}  // namespace velunda
