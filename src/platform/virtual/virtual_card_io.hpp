#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velunda {

// What the virtual card's line input plays: a recording, over and over.
class LoopingSource {
 public:
  virtual ~LoopingSource() = default;
  // The next `count` samples, going back to the recording's start at its end.
  virtual void Read(uint8_t* samples, size_t count) = 0;
  // Passes over the next `count` samples: the line goes on while nobody takes it.
  virtual void Skip(uint64_t count) = 0;
};

// Where the virtual card's loudspeaker sound goes.
class SpeakerSink {
 public:
  virtual ~SpeakerSink() = default;
  // The output was opened at `rate`.
  virtual void Open(int32_t rate) = 0;
  // Samples, as the loudspeaker plays them.
  virtual void Play(const uint8_t* samples, size_t count) = 0;
  // The output was closed. 0, or the errno of a failed write of what it played.
  virtual int Close() = 0;
};

// A recording held in memory; an empty one is silence (128).
class MemoryLoop final : public LoopingSource {
 public:
  explicit MemoryLoop(std::vector<uint8_t> samples) : samples_(std::move(samples)) {}
  void Read(uint8_t* samples, size_t count) override;
  void Skip(uint64_t count) override;

 private:
  std::vector<uint8_t> samples_;
  size_t pos_ = 0;
};

// Keeps what the loudspeaker plays, output open by output open.
class MemorySpeaker final : public SpeakerSink {
 public:
  struct Opening {
    int32_t rate;
    std::vector<uint8_t> samples;
  };
  void Open(int32_t rate) override { openings.push_back({rate, {}}); }
  void Play(const uint8_t* samples, size_t count) override;
  int Close() override { return closeError; }

  std::vector<uint8_t> played;  // everything, in order
  std::vector<Opening> openings;
  int closeError = 0;  // what Close gives
};

}  // namespace velunda
