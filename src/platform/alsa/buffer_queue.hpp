#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace velunda {

// The buffers queued on one side of a wave device, in order, with how far each has got:
// for capture the bytes recorded into it, for playback the bytes already handed to ALSA.
// No device here, so the bookkeeping is tested on its own.
class BufferQueue {
 public:
  using Tag = const void*;  // the caller's header, handed back when the buffer is done

  void Add(Tag tag, uint8_t* data, uint32_t length);
  bool Empty() const { return queue_.empty(); }
  size_t Size() const { return queue_.size(); }
  // Bytes still to fill or to play, over all queued buffers.
  size_t Remaining() const;
  // Bytes done in the queued buffer `tag`; 0 when it is not queued.
  uint32_t Progress(Tag tag) const;

  // Capture: stores `count` captured bytes into the queued buffers in order. Each buffer that
  // becomes full leaves the queue and its tag is appended to `filled`. Bytes for which no buffer
  // is queued are dropped, as a card does. Returns the bytes stored.
  size_t Fill(const uint8_t* samples, size_t count, std::vector<Tag>& filled);

  // Playback: copies up to `count` bytes of the queued buffers, in order, into `out`, without
  // consuming them. The buffer memory is read here, not when it was queued. Returns the bytes
  // copied.
  size_t Peek(uint8_t* out, size_t count) const;
  // Playback: consumes `count` bytes (those ALSA accepted). Each buffer passed to its end
  // leaves the queue and its tag is appended to `returned`.
  void Advance(size_t count, std::vector<Tag>& returned);

  // Empties the queue, appending every tag in queue order (a reset hands all buffers back).
  void Flush(std::vector<Tag>& returned);

 private:
  struct Entry {
    Tag tag;
    uint8_t* data;
    uint32_t length;
    uint32_t done;
  };
  std::deque<Entry> queue_;
};

}  // namespace velunda
