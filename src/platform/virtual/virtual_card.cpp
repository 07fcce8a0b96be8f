#include "platform/virtual/virtual_card.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/virtual/wav_u8.hpp"

namespace velunda {

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
  const uint64_t due = uint64_t{now - s.baseMs} * static_cast<uint64_t>(s.trueRate) / 1000;
  while (s.moved < due) {
    const uint64_t pending = due - s.moved;
    if (s.queue.empty()) {
      // Nobody to take them: the samples are lost, the line goes on.
      if (!config_.input.empty()) {
        inputPos_ = (inputPos_ + pending) % config_.input.size();
      }
      s.moved = due;
      break;
    }
    WaveHeader* h = s.queue.front();
    const uint64_t room = h->dwBufferLength - h->dwBytesRecorded;
    const uint32_t n = static_cast<uint32_t>(std::min(room, pending));
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t sample = 128;
      if (!config_.input.empty()) {
        sample = config_.input[inputPos_];
        inputPos_ = (inputPos_ + 1) % config_.input.size();
      }
      h->lpData[h->dwBytesRecorded + i] = sample;
    }
    h->dwBytesRecorded += n;
    s.moved += n;
    if (h->dwBytesRecorded == h->dwBufferLength) {
      s.queue.pop_front();
      h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      s.sink->PostNotice(MM_WIM_DATA, h);
    }
  }
}

void VirtualSoundCard::ServiceOutput(uint32_t now) {
  Side& s = out_;
  if (!s.open || !s.running) {
    return;
  }
  const uint64_t due = uint64_t{now - s.baseMs} * static_cast<uint64_t>(s.rate) / 1000;
  while (s.moved < due) {
    if (s.queue.empty()) {
      // Underrun: silent until the next write restarts the playback.
      s.running = false;
      return;
    }
    WaveHeader* h = s.queue.front();
    const uint64_t left = h->dwBufferLength - s.playOffset;
    const uint32_t n = static_cast<uint32_t>(std::min(left, due - s.moved));
    speaker_.insert(speaker_.end(), h->lpData + s.playOffset, h->lpData + s.playOffset + n);
    s.playOffset += n;
    s.moved += n;
    if (s.playOffset == h->dwBufferLength) {
      s.queue.pop_front();
      s.playOffset = 0;
      h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      s.sink->PostNotice(MM_WOM_DONE, h);
    }
  }
}

uint32_t VirtualSoundCard::MsUntilNextCompletion() const {
  uint32_t wait = UINT32_MAX;
  if (in_.open && in_.running && !in_.queue.empty() && in_.trueRate > 0 &&
      !config_.faults.bufferNeverFills) {
    const WaveHeader* h = in_.queue.front();
    const uint64_t left = h->dwBufferLength - h->dwBytesRecorded;
    wait = std::min<uint64_t>(wait, (left * 1000 + static_cast<uint64_t>(in_.trueRate) - 1) /
                                        static_cast<uint64_t>(in_.trueRate));
  }
  if (out_.open && out_.running && !out_.queue.empty() && out_.rate > 0) {
    const uint64_t left = out_.queue.front()->dwBufferLength - out_.playOffset;
    wait = std::min<uint64_t>(wait, (left * 1000 + static_cast<uint64_t>(out_.rate) - 1) /
                                        static_cast<uint64_t>(out_.rate));
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
  if (card_.config_.faults.noInputDevice) {
    return kMmErrorBadDeviceId;
  }
  // 11025 Hz mono 8 bits, plus the other classic rates and widths.
  formats = card_.config_.faults.inputLacksMinimumFormat ? 0xFFEu : 0xFFFu;
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Open(const WaveFormat& format, NoticeSink& window) {
  const VirtualCardFaults& f = card_.config_.faults;
  if (const uint32_t code = card_.Injected(WaveOp::InOpen)) {
    return code;
  }
  if (f.noInputDevice) {
    return kMmErrorBadDeviceId;
  }
  if (f.inputInUse || card_.in_.open || (f.noFullDuplex && card_.out_.open)) {
    return kMmErrorAllocated;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 1 || format.wBitsPerSample != 8 ||
      format.nSamplesPerSec == 0) {
    return kWaveErrorBadFormat;
  }
  Side& s = card_.in_;
  s = Side{};
  s.open = true;
  s.rate = static_cast<int32_t>(format.nSamplesPerSec);
  const auto it = f.trueCaptureRate.find(s.rate);
  s.trueRate = it == f.trueCaptureRate.end() ? s.rate : it->second;
  s.sink = &window;
  window.PostNotice(MM_WIM_OPEN, nullptr);
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::PrepareHeader(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::InPrepare)) {
    return code;
  }
  if (!card_.in_.open) {
    return kMmErrorInvalidHandle;
  }
  if (header.lpData == nullptr) {
    return kMmErrorInvalidParam;
  }
  header.dwFlags |= WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::UnprepareHeader(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::InUnprepare)) {
    return code;
  }
  if (!card_.in_.open) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags &= ~WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::AddBuffer(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::InAddBuffer)) {
    return code;
  }
  if (!card_.in_.open) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_PREPARED) == 0) {
    return kWaveErrorUnprepared;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  header.dwBytesRecorded = 0;
  card_.in_.queue.push_back(&header);
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Start() {
  if (const uint32_t code = card_.Injected(WaveOp::InStart)) {
    return code;
  }
  Side& s = card_.in_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  if (!s.running) {
    s.running = true;
    s.baseMs = card_.clock_.NowMs();
    s.moved = 0;
  }
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Reset() {
  if (const uint32_t code = card_.Injected(WaveOp::InReset)) {
    return code;
  }
  Side& s = card_.in_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  card_.ServiceInput(card_.clock_.NowMs());
  s.running = false;
  while (!s.queue.empty()) {
    WaveHeader* h = s.queue.front();
    s.queue.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    s.sink->PostNotice(MM_WIM_DATA, h);
  }
  return kWaveOk;
}

uint32_t VirtualSoundCard::In::Close() {
  if (const uint32_t code = card_.Injected(WaveOp::InClose)) {
    return code;
  }
  Side& s = card_.in_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  if (!s.queue.empty()) {
    return kWaveErrorStillPlaying;
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
  if (card_.config_.faults.noOutputDevice) {
    return kMmErrorBadDeviceId;
  }
  formats = card_.config_.faults.outputLacksMinimumFormat ? 0xFFEu : 0xFFFu;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Open(const WaveFormat& format, NoticeSink& window) {
  const VirtualCardFaults& f = card_.config_.faults;
  if (const uint32_t code = card_.Injected(WaveOp::OutOpen)) {
    return code;
  }
  if (f.noOutputDevice) {
    return kMmErrorBadDeviceId;
  }
  if (f.outputInUse || card_.out_.open || (f.noFullDuplex && card_.in_.open)) {
    return kMmErrorAllocated;
  }
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 1 || format.wBitsPerSample != 8 ||
      format.nSamplesPerSec == 0) {
    return kWaveErrorBadFormat;
  }
  Side& s = card_.out_;
  s = Side{};
  s.open = true;
  s.rate = static_cast<int32_t>(format.nSamplesPerSec);
  s.trueRate = s.rate;
  s.sink = &window;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::PrepareHeader(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::OutPrepare)) {
    return code;
  }
  if (!card_.out_.open) {
    return kMmErrorInvalidHandle;
  }
  if (header.lpData == nullptr) {
    return kMmErrorInvalidParam;
  }
  header.dwFlags |= WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::UnprepareHeader(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::OutUnprepare)) {
    return code;
  }
  if (!card_.out_.open) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags &= ~WHDR_PREPARED;
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Write(WaveHeader& header) {
  if (const uint32_t code = card_.Injected(WaveOp::OutWrite)) {
    return code;
  }
  Side& s = card_.out_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  if ((header.dwFlags & WHDR_PREPARED) == 0) {
    return kWaveErrorUnprepared;
  }
  if ((header.dwFlags & WHDR_INQUEUE) != 0) {
    return kWaveErrorStillPlaying;
  }
  header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  s.queue.push_back(&header);
  if (!s.running) {
    s.running = true;
    s.baseMs = card_.clock_.NowMs();
    s.moved = 0;
  }
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Reset() {
  if (const uint32_t code = card_.Injected(WaveOp::OutReset)) {
    return code;
  }
  Side& s = card_.out_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  card_.ServiceOutput(card_.clock_.NowMs());
  s.running = false;
  s.playOffset = 0;
  while (!s.queue.empty()) {
    WaveHeader* h = s.queue.front();
    s.queue.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    s.sink->PostNotice(MM_WOM_DONE, h);
  }
  return kWaveOk;
}

uint32_t VirtualSoundCard::Out::Close() {
  if (const uint32_t code = card_.Injected(WaveOp::OutClose)) {
    return code;
  }
  Side& s = card_.out_;
  if (!s.open) {
    return kMmErrorInvalidHandle;
  }
  if (!s.queue.empty()) {
    return kWaveErrorStillPlaying;
  }
  const int32_t rate = s.rate;
  s = Side{};
  s.rate = rate;
  if (!card_.config_.speakerWav.empty()) {
    WriteWavU8(card_.config_.speakerWav, card_.speaker_, rate);
  }
  return kWaveOk;
}

}  // namespace velunda
