#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/alsa/alsa_stream.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

class AlsaSoundCard;

// Consulted before each open of the device: 0 lets the open go ahead, an errno refuses it as
// ALSA would (tests stand in for a device held by another program with EBUSY).
using PcmOpenGate = std::function<int(PcmDirection)>;

// What the input and output devices share: header checks, queued headers, notices.
class AlsaWaveSide {
 public:
  AlsaWaveSide(AlsaSoundCard& card, PcmDirection direction);

  uint16_t DeviceCount();
  uint32_t GetCapabilities(uint32_t& formats);
  uint32_t Open(const WaveFormat& format, NoticeSink& window);
  uint32_t PrepareHeader(WaveHeader& header);
  uint32_t UnprepareHeader(WaveHeader& header);
  uint32_t Queue(WaveHeader& header);
  uint32_t Start();
  uint32_t Reset();
  uint32_t Close();

  // Marks the buffers the stream finished as done and posts their notices (program thread);
  // an input side has the card post the output's first. DeliverOwn: this side's only.
  void Deliver();
  void DeliverOwn();
  bool HasFinished();  // caller holds the card's mutex
  AlsaStream& Stream() { return stream_; }

 private:
  void SyncProgress(const std::vector<BufferQueue::Tag>& full);  // caller holds the mutex
  void Finish(const std::vector<BufferQueue::Tag>& tags);

  AlsaSoundCard& card_;
  const PcmDirection direction_;
  AlsaStream stream_;
  NoticeSink* window_ = nullptr;
  std::vector<WaveHeader*> queued_;  // in queue order
  // While the input is open, the thread that opened it (the one that runs the session and
  // must answer each block in time) runs at the service threads' priority.
  std::optional<ServicePriority> sessionPriority_;
};

class AlsaWaveIn final : public WaveIn {
 public:
  explicit AlsaWaveIn(AlsaSoundCard& card) : side_(card, PcmDirection::Capture) {}
  uint16_t DeviceCount() override { return side_.DeviceCount(); }
  uint32_t GetCapabilities(uint32_t& formats) override { return side_.GetCapabilities(formats); }
  uint32_t Open(const WaveFormat& f, NoticeSink& w) override { return side_.Open(f, w); }
  uint32_t PrepareHeader(WaveHeader& h) override { return side_.PrepareHeader(h); }
  uint32_t UnprepareHeader(WaveHeader& h) override { return side_.UnprepareHeader(h); }
  uint32_t AddBuffer(WaveHeader& h) override { return side_.Queue(h); }
  uint32_t Start() override { return side_.Start(); }
  uint32_t Reset() override { return side_.Reset(); }
  uint32_t Close() override { return side_.Close(); }
  AlsaWaveSide& Side() { return side_; }

 private:
  AlsaWaveSide side_;
};

class AlsaWaveOut final : public WaveOut {
 public:
  explicit AlsaWaveOut(AlsaSoundCard& card) : side_(card, PcmDirection::Playback) {}
  uint16_t DeviceCount() override { return side_.DeviceCount(); }
  uint32_t GetCapabilities(uint32_t& formats) override { return side_.GetCapabilities(formats); }
  uint32_t Open(const WaveFormat& f, NoticeSink& w) override { return side_.Open(f, w); }
  uint32_t PrepareHeader(WaveHeader& h) override { return side_.PrepareHeader(h); }
  uint32_t UnprepareHeader(WaveHeader& h) override { return side_.UnprepareHeader(h); }
  uint32_t Write(WaveHeader& h) override { return side_.Queue(h); }
  uint32_t Reset() override { return side_.Reset(); }
  uint32_t Close() override { return side_.Close(); }
  AlsaWaveSide& Side() { return side_; }

 private:
  AlsaWaveSide side_;
};

// A sound card reached through one ALSA PCM name ("default", "pulse", "hw:0", ...), capture
// and playback in U8 mono. Result codes are positive errno values (16: device in use). A
// device held by another program (EBUSY) is present: its opens fail with that code.
class AlsaSoundCard final : public SoundCard {
 public:
  explicit AlsaSoundCard(std::string device = "default", PcmOpenGate gate = {},
                         AlsaTiming timing = {});
  ~AlsaSoundCard() override;
  WaveIn& Input() override { return in_; }
  WaveOut& Output() override { return out_; }
  void WaitForActivity(uint32_t maxMs) override;
  // Posts the notices of the buffers both sides finished so far, the output's first.
  void Deliver();
  int ActivityFd() const override { return activity_.Fd(); }
  uint32_t CaptureOverruns() override;

  const std::string& Device() const { return device_; }
  // 0, or the errno the gate refuses an open of `direction` with.
  int GateRefusal(PcmDirection direction) const { return gate_ ? gate_(direction) : 0; }
  // A line on stderr naming the device and why it refused `direction`, written below the
  // message box's text when the card is put away (each line once in a row).
  void ReportRefusal(PcmDirection direction, int err, unsigned rate);
  std::mutex& Mutex() { return mutex_; }
  WakeFd& Activity() { return activity_; }
  const AlsaTiming& Timing() const { return timing_; }

 private:
  std::string device_;
  PcmOpenGate gate_;
  std::mutex mutex_;
  WakeFd activity_;  // made readable by the streams' threads when a buffer is finished
  AlsaTiming timing_;
  std::vector<std::string> reports_;
  AlsaWaveIn in_;
  AlsaWaveOut out_;
};

}  // namespace velunda
