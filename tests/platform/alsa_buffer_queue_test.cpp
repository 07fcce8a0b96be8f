#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <tuple>
#include <vector>

#include "platform/alsa/buffer_queue.hpp"
#include "platform/alsa/capture_pacer.hpp"

namespace velunda {
namespace {

using Tags = std::vector<BufferQueue::Tag>;

struct Buffers {
  explicit Buffers(std::vector<uint32_t> lengths) {
    for (uint32_t n : lengths) {
      memory.emplace_back(n, uint8_t{0});
    }
  }
  BufferQueue::Tag Tag(size_t i) const { return &memory[i]; }
  void QueueAll(BufferQueue& q) {
    for (auto& m : memory) {
      q.Add(&m, m.data(), static_cast<uint32_t>(m.size()));
    }
  }
  std::vector<std::vector<uint8_t>> memory;
};

std::vector<uint8_t> Ramp(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

// Capture arrives in chunks of any size; buffers fill in order, each exactly once.
struct FillCase {
  friend void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::vector<uint32_t> lengths;
  std::vector<size_t> chunks;
  std::vector<size_t> filledAfterChunk;  // buffers completed so far, after each chunk
  size_t stored;
};

class BufferQueueFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(BufferQueueFill, FillsInOrderAcrossChunkBoundaries) {
  const FillCase& c = GetParam();
  Buffers b(c.lengths);
  BufferQueue q;
  b.QueueAll(q);
  size_t total = 0;
  size_t stored = 0;
  Tags filled;
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    const std::vector<uint8_t> chunk = Ramp(c.chunks[i], static_cast<uint8_t>(total));
    stored += q.Fill(chunk.data(), chunk.size(), filled);
    total += chunk.size();
    ASSERT_EQ(filled.size(), c.filledAfterChunk[i]) << "after chunk " << i;
  }
  EXPECT_EQ(stored, c.stored);
  for (size_t i = 0; i < filled.size(); ++i) {
    EXPECT_EQ(filled[i], b.Tag(i));
  }
  // The bytes land contiguously: buffer k starts where buffer k-1 ended.
  size_t offset = 0;
  for (size_t i = 0; i < filled.size(); ++i) {
    EXPECT_EQ(b.memory[i], Ramp(c.lengths[i], static_cast<uint8_t>(offset)));
    offset += c.lengths[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Chunks, BufferQueueFill,
                         ::testing::Values(FillCase{"exact", {4, 4}, {4, 4}, {1, 2}, 8},
                                           FillCase{"straddling", {5, 3}, {3, 3, 2}, {0, 1, 2}, 8},
                                           FillCase{"one_chunk_fills_both", {2, 3}, {5}, {2}, 5},
                                           FillCase{"surplus_dropped", {2, 2}, {7}, {2}, 4},
                                           FillCase{"partial", {10}, {3, 3}, {0, 0}, 6},
                                           FillCase{"one_byte_short", {4}, {3}, {0}, 3},
                                           FillCase{"nothing_queued", {}, {10}, {0}, 0},
                                           FillCase{"empty_buffer_completes", {0, 2}, {2}, {2}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Progress counts the bytes of a buffer still queued; a flush hands back every one left, in
// queue order.
TEST(BufferQueue, ProgressOfQueuedBuffersThenFlushInOrder) {
  Buffers b({4, 4, 4});
  BufferQueue q;
  b.QueueAll(q);
  Tags done;
  const auto chunk = Ramp(6, 0);
  q.Fill(chunk.data(), chunk.size(), done);
  EXPECT_EQ(q.Progress(b.Tag(0)), 0u);  // left the queue: no longer counted
  EXPECT_EQ(q.Progress(b.Tag(1)), 2u);
  EXPECT_EQ(q.Size(), 2u);
  Tags returned;
  q.Flush(returned);
  EXPECT_EQ(returned, (Tags{b.Tag(1), b.Tag(2)}));
  EXPECT_TRUE(q.Empty());
}

// Playback reads the memory when written, not when queued: later writes are heard.
TEST(BufferQueue, PeekReadsBufferMemoryAtWriteTime) {
  Buffers b({3, 3});
  BufferQueue q;
  b.QueueAll(q);
  b.memory[0] = {1, 2, 3};
  b.memory[1] = {4, 5, 6};
  Tags returned;
  uint8_t out[4] = {};
  ASSERT_EQ(q.Peek(out, 2), 2u);
  q.Advance(2, returned);
  EXPECT_TRUE(returned.empty());
  b.memory[0][2] = 9;  // written while queued, before the device reached it
  b.memory[1][0] = 8;
  ASSERT_EQ(q.Peek(out, 4), 4u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{9, 8, 5, 6}));
  q.Advance(4, returned);
  EXPECT_EQ(returned, (Tags{b.Tag(0), b.Tag(1)}));
  EXPECT_EQ(q.Peek(out, 4), 0u);  // dry: the caller pads with silence
}

// ALSA may accept only part of a write (or none): the rest is offered again, in order, and a
// buffer comes back only once all of it went out.
TEST(BufferQueue, PartialWritesLoseNothingAndReturnLate) {
  Buffers b({3, 2});
  BufferQueue q;
  b.QueueAll(q);
  b.memory[0] = {1, 2, 3};
  b.memory[1] = {4, 5};
  Tags returned;
  std::vector<uint8_t> heard;
  for (size_t accepted : {2u, 0u, 2u, 1u, 4u}) {
    uint8_t out[4] = {};
    const size_t n = q.Peek(out, 4);
    heard.insert(heard.end(), out, out + std::min(n, accepted));
    q.Advance(std::min(n, accepted), returned);
    const size_t complete = (heard.size() >= 3 ? 1 : 0) + (heard.size() >= 5 ? 1 : 0);
    EXPECT_EQ(returned.size(), complete) << "after " << heard.size() << " bytes";
  }
  EXPECT_EQ(heard, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(returned, (Tags{b.Tag(0), b.Tag(1)}));
  EXPECT_TRUE(q.Empty());
}

// A playback that follows the capture (lead 24, floor 64): what each round writes. Steps: 'S'
// the capture's first frames with `a` queued, 'G' a capture buffer of `a` back, 'R' ALSA ran
// dry, 'P' a round with
// room `a`, fill `b`, `c` queued, of which ALSA accepts `wrote` (all when 0).
struct PacerStep {
  char op;
  size_t a = 0, b = 0, c = 0;
  PacedRound expect = {};
  size_t wrote = 0;
};
struct PacerCase {
  friend void PrintTo(const PacerCase& c, std::ostream* os) { *os << c.name; }
  const char* name;
  std::vector<PacerStep> steps;
  uint64_t gaps = 0;
};

class Pacer : public ::testing::TestWithParam<PacerCase> {};

TEST_P(Pacer, ReadsTheQueueOnlyAsTheCaptureAllows) {
  CapturePacer pacer(24, 64);
  for (const PacerStep& s : GetParam().steps) {
    if (s.op == 'S') {
      pacer.Start(s.a);
    } else if (s.op == 'G') {
      pacer.Grant(s.a);
    } else if (s.op == 'R') {
      pacer.Restart();
    } else {
      const PacedRound r = pacer.Plan(s.a, s.b, s.c);
      EXPECT_EQ(std::make_tuple(r.leadSilence, r.fromQueue, r.gapSilence),
                std::make_tuple(s.expect.leadSilence, s.expect.fromQueue, s.expect.gapSilence));
      const size_t all = r.leadSilence + r.fromQueue + r.gapSilence;
      const size_t wrote = s.wrote != 0 ? s.wrote : all;
      EXPECT_EQ(pacer.Wrote(r, wrote),
                std::min(r.fromQueue, wrote - std::min(wrote, r.leadSilence)));
    }
  }
  EXPECT_EQ(pacer.GapFrames(), GetParam().gaps);
}

INSTANTIATE_TEST_SUITE_P(
    Rounds, Pacer,
    ::testing::Values(
        PacerCase("waits_for_the_capture", {{'P', 100, 0, 256, {}}}),
        PacerCase("lead_then_what_was_queued",
                  {{'S', 256}, {'P', 1000, 0, 384, {24, 256, 0}}, {'P', 1000, 280, 128, {}}}),
        PacerCase("a_block_per_capture_buffer_back", {{'S', 256},
                                                      {'P', 1000, 0, 256, {24, 256, 0}},
                                                      {'G', 128},
                                                      {'P', 1000, 200, 256, {0, 128, 0}},
                                                      {'P', 1000, 300, 128, {}}}),
        PacerCase("silence_at_the_floor_only",
                  {{'S', 0}, {'P', 1000, 0, 256, {24, 0, 40}}, {'P', 1000, 64, 256, {}}}, 40),
        PacerCase("partial_writes_keep_the_rest", {{'S', 256},
                                                   {'P', 100, 0, 256, {24, 76, 0}, 50},
                                                   {'P', 100, 50, 230, {0, 100, 0}},
                                                   {'P', 1000, 150, 130, {0, 130, 0}},
                                                   {'P', 1000, 280, 0, {}}}),
        PacerCase("ran_dry_the_whole_lead_again",
                  {{'S', 256},
                   {'P', 10, 0, 256, {10, 0, 0}},
                   {'R'},
                   {'P', 1000, 0, 256, {24, 256, 0}},
                   {'G', 128},
                   {'R'},
                   {'P', 1000, 0, 128, {24, 128, 0}}},
                  34)),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velunda
