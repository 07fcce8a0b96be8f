#include "platform/virtual/virtual_card.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace velunda {
namespace {

// Milliseconds for `samples` at `rate`, rounded up.
uint64_t MsFor(uint64_t samples, int32_t rate) {
  return (samples * 1000 + static_cast<uint64_t>(rate) - 1) / static_cast<uint64_t>(rate);
}

uint32_t Capabilities(bool noDevice, bool lacksMinimumFormat, uint32_t& formats) {
  if (noDevice) {
    return kMmErrorBadDeviceId;
  }
  // 11025 Hz mono 8 bits, plus the other classic rates and widths.
  formats = lacksMinimumFormat ? 0xFFEu : 0xFFFu;
  return kWaveOk;
}

}  // namespace

VirtualSoundCard::VirtualSoundCard(Clock& clock, VirtualCardConfig config)
    : clock_(clock), config_(std::move(config)), input_(*this), output_(*this) {}

uint32_t VirtualSoundCard::Injected(WaveOp op) {
  const int call = ++calls_[op];
  for (const InjectedFailure& f : config_.faults.failures) {
    if (f.op == op && f.call == call) {
      return f.code;
    }
  }
  return kWaveOk;
}

uint32_t VirtualSoundCard::Checked(WaveOp op, const Side& s) {
  if (const uint32_t code = Injected(op)) {
    return code;
  }
  return s.open ? kWaveOk : kMmErrorInvalidHandle;
}

uint32_t VirtualSoundCard::OpenSide(Side& s, WaveOp op, bool noDevice, bool inUse,
                                    const Side& other, const WaveFormat& format,
                                    NoticeSink& window) {
  if (const uint32_t code = Injected(op)) {
    return code;
  }
  if (noDevice) {
    return kMmErrorBadDeviceId;
  }
  if (inUse || s.open || (config_.faults.noFullDuplex && other.open)) {
    return kMmErrorAllocated;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 1 || format.wBitsPerSample != 8 ||
      format.nSamplesPerSec == 0) {
    return kWaveErrorBadFormat;
  }
  s = Side{};
  s.open = true;
  s.rate = static_cast<int32_t>(format.nSamplesPerSec);
  s.trueRate = s.rate;
  s.sink = &window;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Prepare(Side& s, WaveOp op, WaveHeader& header) {
  if (const uint32_t code = Checked(op, s)) {
    return code;
  }
  if (header.lpData == nullptr) {
    return kMmErrorInvalidParam;
  }
  header.dwFlags |= WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Unprepare(Side& s, WaveOp op, WaveHeader& header) {
  if (const uint32_t code = Checked(op, s)) {
    return code;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags &= ~WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Enqueue(Side& s, WaveOp op, WaveHeader& header) {
  if (const uint32_t code = Checked(op, s)) {
    return code;
  }
  if ((header.dwFlags & WHDR_PREPARED) == 0) {
    return kWaveErrorUnprepared;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  s.queue.push_back(&header);
  return kWaveOk;
}

void VirtualSoundCard::StartRunning(Side& s) {
  if (!s.running) {
    s.running = true;
    s.baseMs = clock_.NowMs();
    s.moved = 0;
  }
}

uint32_t VirtualSoundCard::Closable(Side& s, WaveOp op) {
  if (const uint32_t code = Checked(op, s)) {
    return code;
  }
  return s.queue.empty() ? kWaveOk : kWaveErrorStillPlaying;
}

void VirtualSoundCard::ReturnHead(Side& s, uint32_t notice) {
  WaveHeader* h = s.queue.front();
  s.queue.pop_front();
  s.playOffset = 0;
  h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  s.sink->PostNotice(notice, h);
}

void VirtualSoundCard::ReturnAll(Side& s, uint32_t notice) {
  s.running = false;
  s.playOffset = 0;
  while (!s.queue.empty()) {
    ReturnHead(s, notice);
  }
}

void VirtualSoundCard::Service() {
  const uint32_t now = clock_.NowMs();
  ServiceInput(now);
  ServiceOutput(now);
}

void VirtualSoundCard::ServiceInput(uint32_t now) {
  Side& s = in_;
  if (!s.open || !s.running || config_.faults.bufferNeverFills) {
    return;
  }
  const uint64_t due = Due(now - s.baseMs, s.trueRate);
  while (s.moved < due) {
    const uint64_t pending = due - s.moved;
    if (s.queue.empty()) {
      // Nobody to take them: the samples are lost, the line goes on.
      if (config_.input) {
        config_.input->Skip(pending);
      }
      s.moved = due;
      break;
    }
    WaveHeader* h = s.queue.front();
    const uint64_t room = h->dwBufferLength - h->dwBytesRecorded;
    const uint32_t n = static_cast<uint32_t>(std::min(room, pending));
    uint8_t* to = h->lpData + h->dwBytesRecorded;
    if (config_.input) {
      config_.input->Read(to, n);
    } else {
      std::fill_n(to, n, uint8_t{128});
    }
    h->dwBytesRecorded += n;
    s.moved += n;
    if (h->dwBytesRecorded == h->dwBufferLength) {
      ReturnHead(s, MM_WIM_DATA);
    }
  }
}

void VirtualSoundCard::ServiceOutput(uint32_t now) {
  Side& s = out_;
  if (!s.open || !s.running) {
    return;
  }
  const uint64_t due = Due(now - s.baseMs, s.rate);
  while (s.moved < due) {
    if (s.queue.empty()) {
      // Underrun: silent until the next write restarts the playback.
      s.running = false;
      return;
    }
    WaveHeader* h = s.queue.front();
    const uint64_t left = h->dwBufferLength - s.playOffset;
    const uint32_t n = static_cast<uint32_t>(std::min(left, due - s.moved));
    if (config_.speaker && n > 0) {
      config_.speaker->Play(h->lpData + s.playOffset, n);
    }
    s.played = s.played || n > 0;
    s.playOffset += n;
    s.moved += n;
    if (s.playOffset == h->dwBufferLength) {
      ReturnHead(s, MM_WOM_DONE);
    }
  }
}

uint64_t VirtualSoundCard::Due(uint32_t ms, int32_t rate) const {
  constexpr int64_t kMillion = 1000000;
  // 128 bits: weeks of milliseconds times a rate times a million overflow 64.
  const auto crystal = static_cast<unsigned __int128>(kMillion + config_.clockPpm);
  return static_cast<uint64_t>(static_cast<unsigned __int128>(ms) * static_cast<uint64_t>(rate) *
                               crystal / (1000 * kMillion));
}

uint32_t VirtualSoundCard::MsUntilNextCompletion() const {
  uint32_t wait = UINT32_MAX;
  if (in_.open && in_.running && !in_.queue.empty() && in_.trueRate > 0 &&
      !config_.faults.bufferNeverFills) {
    const WaveHeader* h = in_.queue.front();
    wait = std::min<uint64_t>(wait, MsFor(h->dwBufferLength - h->dwBytesRecorded, in_.trueRate));
  }
  if (out_.open && out_.running && !out_.queue.empty() && out_.rate > 0) {
    const uint64_t left = out_.queue.front()->dwBufferLength - out_.playOffset;
    wait = std::min<uint64_t>(wait, MsFor(left, out_.rate));
  }
  return wait;
}

void VirtualSoundCard::WaitForActivity(uint32_t maxMs) {
  if (config_.realTime && maxMs > 0) {
    const uint32_t wait = std::min(maxMs, MsUntilNextCompletion());
    if (wait > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
  }
  Service();
}

// ---- input ----

uint16_t VirtualSoundCard::In::DeviceCount() { return card_.config_.faults.noInputDevice ? 0 : 1; }

uint32_t VirtualSoundCard::In::GetCapabilities(uint32_t& formats) {
  const VirtualCardFaults& f = card_.config_.faults;
  return Capabilities(f.noInputDevice, f.inputLacksMinimumFormat, formats);
}

uint32_t VirtualSoundCard::In::Open(const WaveFormat& format, NoticeSink& window) {
  const VirtualCardFaults& f = card_.config_.faults;
  Side& s = card_.in_;
  if (const uint32_t code = card_.OpenSide(s, WaveOp::InOpen, f.noInputDevice, f.inputInUse,
                                           card_.out_, format, window)) {
    return code;
  }
  const auto it = f.trueCaptureRate.find(s.rate);
  if (it != f.trueCaptureRate.end()) {
    s.trueRate = it->second;
  }
  window.PostNotice(MM_WIM_OPEN, nullptr);
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::PrepareHeader(WaveHeader& header) {
  return card_.Prepare(card_.in_, WaveOp::InPrepare, header);
}

uint32_t VirtualSoundCard::In::UnprepareHeader(WaveHeader& header) {
  return card_.Unprepare(card_.in_, WaveOp::InUnprepare, header);
}

uint32_t VirtualSoundCard::In::AddBuffer(WaveHeader& header) {
  const uint32_t code = card_.Enqueue(card_.in_, WaveOp::InAddBuffer, header);
  if (code == kWaveOk) {
    header.dwBytesRecorded = 0;
  }
  return code;
}

uint32_t VirtualSoundCard::In::Start() {
  Side& s = card_.in_;
  if (const uint32_t code = card_.Checked(WaveOp::InStart, s)) {
    return code;
  }
  card_.StartRunning(s);
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Reset() {
  if (const uint32_t code = card_.Checked(WaveOp::InReset, card_.in_)) {
    return code;
  }
  card_.ServiceInput(card_.clock_.NowMs());
  ReturnAll(card_.in_, MM_WIM_DATA);
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Close() {
  Side& s = card_.in_;
  if (const uint32_t code = card_.Closable(s, WaveOp::InClose)) {
    return code;
  }
  NoticeSink* sink = s.sink;
  s = Side{};
  sink->PostNotice(MM_WIM_CLOSE, nullptr);
  return kWaveOk;
}

// ---- output ----

uint16_t VirtualSoundCard::Out::DeviceCount() {
  return card_.config_.faults.noOutputDevice ? 0 : 1;
}

uint32_t VirtualSoundCard::Out::GetCapabilities(uint32_t& formats) {
  const VirtualCardFaults& f = card_.config_.faults;
  return Capabilities(f.noOutputDevice, f.outputLacksMinimumFormat, formats);
}

uint32_t VirtualSoundCard::Out::Open(const WaveFormat& format, NoticeSink& window) {
  const VirtualCardFaults& f = card_.config_.faults;
  const uint32_t code = card_.OpenSide(card_.out_, WaveOp::OutOpen, f.noOutputDevice, f.outputInUse,
                                       card_.in_, format, window);
  if (code == kWaveOk && card_.config_.speaker) {
    card_.config_.speaker->Open(card_.out_.rate);
  }
  return code;
}

uint32_t VirtualSoundCard::Out::PrepareHeader(WaveHeader& header) {
  return card_.Prepare(card_.out_, WaveOp::OutPrepare, header);
}

uint32_t VirtualSoundCard::Out::UnprepareHeader(WaveHeader& header) {
  return card_.Unprepare(card_.out_, WaveOp::OutUnprepare, header);
}

uint32_t VirtualSoundCard::Out::Write(WaveHeader& header) {
  Side& s = card_.out_;
  if (const uint32_t code = card_.Enqueue(s, WaveOp::OutWrite, header)) {
    return code;
  }
  card_.StartRunning(s);
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Reset() {
  if (const uint32_t code = card_.Checked(WaveOp::OutReset, card_.out_)) {
    return code;
  }
  card_.ServiceOutput(card_.clock_.NowMs());
  ReturnAll(card_.out_, MM_WOM_DONE);
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Close() {
  Side& s = card_.out_;
  if (const uint32_t code = card_.Closable(s, WaveOp::OutClose)) {
    return code;
  }
  const int32_t rate = s.rate;
  const bool played = s.played;
  s = Side{};
  s.rate = rate;
  const int err = card_.config_.speaker ? card_.config_.speaker->Close() : 0;
  // An open that played nothing (the card tests') has nothing to report.
  if (played) {
    card_.speakerWriteError_ = err;
    return static_cast<uint32_t>(err);
  }
  return kWaveOk;
}

}  // namespace velunda
