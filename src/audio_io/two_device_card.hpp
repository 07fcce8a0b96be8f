#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "audio_io/drift_control.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// The output's code once the two clocks lie further apart than the resampling follows: the
// session ends.
inline constexpr uint32_t kClocksTooFarApart = 1000;

// How the playback side of two devices is fed: its own short buffers, and the sound kept in the
// queue ahead of them for the capture's lateness.
struct DriftTiming {
  int32_t playbackBlock = 256;  // samples per playback buffer
  int32_t playbackBuffers = 2;
  // Kept in the queue, besides a playback buffer, just before a captured block arrives.
  int32_t marginMs = 40;
};

// What the drift control did, for the tests and the benchmark.
struct DriftFigures {
  uint64_t pushed = 0;       // samples resampled into the queue
  uint64_t played = 0;       // samples handed to the playback device
  uint64_t silence = 0;      // samples of silence played for lack of sound (an underrun)
  uint64_t dropped = 0;      // samples dropped from an overflowing queue
  int64_t lowestFill = -1;   // the queue's fill before a block, after the first minute
  int64_t highestFill = -1;  // (-1: not yet)
  double ratio = 1.0;        // the last playback-per-capture ratio
};

// A sound card made of two: its input is the capture card's, its output the playback card's,
// each with its own clock. The filters' output buffers are read at the capture's pace, as one
// card would read them, and resampled into a queue that feeds the playback device; the queue's
// fill steers the resampling ratio (DriftControl), so that the delay stays bounded and nothing
// is dropped or repeated. The filters see exactly the captured samples.
class TwoDeviceCard final : public SoundCard {
 public:
  TwoDeviceCard(std::unique_ptr<SoundCard> capture, std::unique_ptr<SoundCard> playback,
                DriftTiming timing = {});
  ~TwoDeviceCard() override;

  WaveIn& Input() override { return in_; }
  WaveOut& Output() override { return out_; }
  void WaitForActivity(uint32_t maxMs) override;
  int ActivityFd() const override { return epollFd_; }
  uint32_t MsUntilService() const override;
  uint32_t CaptureOverruns() override { return capture_->CaptureOverruns(); }

  SoundCard& Capture() { return *capture_; }
  SoundCard& Playback() { return *playback_; }
  const DriftFigures& Figures() const { return out_.figures; }
  // The two clocks lie further apart than the control can take up.
  bool OutOfRange() const { return out_.control && out_.control->OutOfRange(); }

 private:
  class In final : public WaveIn, public NoticeSink {
   public:
    explicit In(TwoDeviceCard& card) : card_(card) {}
    uint16_t DeviceCount() override;
    uint32_t GetCapabilities(uint32_t& formats) override;
    uint32_t Open(const WaveFormat& format, NoticeSink& window) override;
    uint32_t PrepareHeader(WaveHeader& header) override;
    uint32_t UnprepareHeader(WaveHeader& header) override;
    uint32_t AddBuffer(WaveHeader& header) override;
    uint32_t Start() override;
    uint32_t Reset() override;
    uint32_t Close() override;
    // The capture's notices go on to the session; each filled buffer moves the output along.
    void PostNotice(uint32_t message, WaveHeader* header) override;

   private:
    TwoDeviceCard& card_;
    NoticeSink* window_ = nullptr;
  };

  // Where the playback device returns its buffers.
  class PlaybackSink final : public NoticeSink {
   public:
    void PostNotice(uint32_t message, WaveHeader* header) override;
    std::vector<WaveHeader*> returned;
  };

  class Out final : public WaveOut {
   public:
    explicit Out(TwoDeviceCard& card) : card_(card) {}
    uint16_t DeviceCount() override;
    uint32_t GetCapabilities(uint32_t& formats) override;
    uint32_t Open(const WaveFormat& format, NoticeSink& window) override;
    uint32_t PrepareHeader(WaveHeader& header) override;
    uint32_t UnprepareHeader(WaveHeader& header) override;
    uint32_t Write(WaveHeader& header) override;
    uint32_t Reset() override;
    uint32_t Close() override;

    // `count` samples were captured: the session's buffers play as long.
    void Advance(uint64_t count);
    // Hands the queue's sound to the playback buffers that are back.
    void Feed();

    DriftFigures figures;
    std::optional<DriftControl> control;

   private:
    // A session buffer starts playing: its sound goes into the queue.
    void StartHead();
    void Return(WaveHeader& header);
    // The queue's fill aimed at just before a block: a playback buffer and the margin.
    size_t Aim() const;
    void WriteBuffer(WaveHeader& header, bool pad);

    TwoDeviceCard& card_;
    NoticeSink* window_ = nullptr;
    bool open_ = false;
    int32_t rate_ = 0;
    std::deque<WaveHeader*> queue_;  // the session's buffers
    uint32_t headOffset_ = 0;
    uint32_t lastBlock_ = 0;  // the length of the last session buffer read
    bool headStarted_ = false;
    std::unique_ptr<DriftResampler> resampler_;
    std::deque<uint8_t> sound_;  // the queue between capture and playback
    std::vector<std::vector<uint8_t>> memory_;
    std::vector<WaveHeader> buffers_;
    PlaybackSink sink_;
    std::vector<WaveHeader*> free_;  // playback buffers not at the device
    bool playing_ = false;
    bool primed_ = false;     // the queue was brought to its aim after the device's first take
    bool capturing_ = false;  // a captured buffer has come since the open
    uint64_t settleAt_ = 0;   // pushed samples after which the fill's range is recorded
  };

  std::unique_ptr<SoundCard> capture_;
  std::unique_ptr<SoundCard> playback_;
  DriftTiming timing_;
  In in_;
  Out out_;
  int epollFd_ = -1;
};

}  // namespace velunda
