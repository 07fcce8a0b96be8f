#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "platform/clock.hpp"
#include "platform/virtual/virtual_card_io.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// Device operations that can be told to fail.
enum class WaveOp {
  InOpen,
  InPrepare,
  InUnprepare,
  InAddBuffer,
  InStart,
  InReset,
  InClose,
  OutOpen,
  OutPrepare,
  OutUnprepare,
  OutWrite,
  OutReset,
  OutClose,
};

// The call-th call (1-based, counted from the card's creation) of op gives code.
struct InjectedFailure {
  WaveOp op;
  int call;
  uint32_t code;
};

// How the card misbehaves.
struct VirtualCardFaults {
  bool noInputDevice = false;
  bool noOutputDevice = false;
  bool inputLacksMinimumFormat = false;
  bool outputLacksMinimumFormat = false;
  bool inputInUse = false;    // every input open refused
  bool outputInUse = false;   // every output open refused
  bool noFullDuplex = false;  // the second side refused while the other is open
  bool bufferNeverFills = false;
  std::map<int32_t, int32_t> trueCaptureRate = {};  // asked rate -> rate really delivered
  std::vector<InjectedFailure> failures = {};
};

struct VirtualCardConfig {
  std::shared_ptr<LoopingSource> input = {};  // what the line input plays; none: silence (128)
  // Where the loudspeaker's sound goes; none: nowhere. When an output that played something
  // closes, the sink's error becomes the close's.
  std::shared_ptr<SpeakerSink> speaker = {};
  bool realTime = false;  // WaitForActivity sleeps until audio is due (else returns at once)
  // How far the card's crystal is off, in parts per million: at +150, asked 8000 Hz it moves
  // 8001.2 samples a second on both sides.
  int32_t clockPpm = 0;
  VirtualCardFaults faults;
};

// A software sound card. Audio moves with the clock: the input delivers the samples due since
// Start, the output plays the samples due since its first write, reading each buffer's
// memory as it plays it. Notices go to the sink given at open, during Service.
class VirtualSoundCard final : public SoundCard {
 public:
  VirtualSoundCard(Clock& clock, VirtualCardConfig config);

  WaveIn& Input() override { return input_; }
  WaveOut& Output() override { return output_; }
  void WaitForActivity(uint32_t maxMs) override;
  // Sleeping is only worth it when the card keeps real time.
  uint32_t MsUntilService() const override {
    return config_.realTime ? MsUntilNextCompletion() : 0;
  }

  // Moves the audio due at the clock's time and posts the notices.
  void Service();

  SpeakerSink* Speaker() const { return config_.speaker.get(); }
  // The sink's error at the last close of an output that played something, 0 if none.
  int SpeakerWriteError() const { return speakerWriteError_; }
  bool InputOpen() const { return in_.open; }
  bool OutputOpen() const { return out_.open; }
  int32_t LastOutputRate() const { return out_.rate; }
  VirtualCardFaults& Faults() { return config_.faults; }

 private:
  struct Side {
    bool open = false;
    int32_t rate = 0;
    int32_t trueRate = 0;
    bool running = false;
    uint32_t baseMs = 0;  // clock time when the current run started
    uint64_t moved = 0;   // samples moved since baseMs
    std::deque<WaveHeader*> queue;
    NoticeSink* sink = nullptr;
    uint32_t playOffset = 0;  // output: bytes of the head buffer already played
    bool played = false;      // output: something was played since the open
  };

  class In final : public WaveIn {
   public:
    explicit In(VirtualSoundCard& card) : card_(card) {}
    uint16_t DeviceCount() override;
    uint32_t GetCapabilities(uint32_t& formats) override;
    uint32_t Open(const WaveFormat& format, NoticeSink& window) override;
    uint32_t PrepareHeader(WaveHeader& header) override;
    uint32_t UnprepareHeader(WaveHeader& header) override;
    uint32_t AddBuffer(WaveHeader& header) override;
    uint32_t Start() override;
    uint32_t Reset() override;
    uint32_t Close() override;

   private:
    VirtualSoundCard& card_;
  };

  class Out final : public WaveOut {
   public:
    explicit Out(VirtualSoundCard& card) : card_(card) {}
    uint16_t DeviceCount() override;
    uint32_t GetCapabilities(uint32_t& formats) override;
    uint32_t Open(const WaveFormat& format, NoticeSink& window) override;
    uint32_t PrepareHeader(WaveHeader& header) override;
    uint32_t UnprepareHeader(WaveHeader& header) override;
    uint32_t Write(WaveHeader& header) override;
    uint32_t Reset() override;
    uint32_t Close() override;

   private:
    VirtualSoundCard& card_;
  };

  // 0, or the injected code for this call of op.
  uint32_t Injected(WaveOp op);
  // What both devices do alike. Every call first counts op for injection, then needs an open
  // device; the header calls keep the flags and the queue.
  uint32_t Checked(WaveOp op, const Side& s);
  uint32_t OpenSide(Side& s, WaveOp op, bool noDevice, bool inUse, const Side& other,
                    const WaveFormat& format, NoticeSink& window);
  uint32_t Prepare(Side& s, WaveOp op, WaveHeader& header);
  uint32_t Unprepare(Side& s, WaveOp op, WaveHeader& header);
  uint32_t Enqueue(Side& s, WaveOp op, WaveHeader& header);
  // Open with nothing queued (else kWaveErrorStillPlaying): the device may close.
  uint32_t Closable(Side& s, WaveOp op);
  // Starts the side's transfer clock, unless it already runs.
  void StartRunning(Side& s);
  // The head buffer leaves the queue done, announced by notice.
  static void ReturnHead(Side& s, uint32_t notice);
  // Stops the side and returns every queued buffer as it stands.
  static void ReturnAll(Side& s, uint32_t notice);
  void ServiceInput(uint32_t now);
  void ServiceOutput(uint32_t now);
  uint32_t MsUntilNextCompletion() const;
  // The samples a side at `rate` moves in `ms`, on the card's crystal.
  uint64_t Due(uint32_t ms, int32_t rate) const;

  Clock& clock_;
  VirtualCardConfig config_;
  In input_;
  Out output_;
  Side in_;
  Side out_;
  int speakerWriteError_ = 0;
  std::map<WaveOp, int> calls_;
};

}  // namespace velunda
