#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "platform/alsa/buffer_queue.hpp"

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
                                           FillCase{"empty_buffer_completes", {0, 2}, {2}, {2}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BufferQueue, ProgressCountsBytesOfTheQueuedBufferOnly) {
  Buffers b({4, 4});
  BufferQueue q;
  b.QueueAll(q);
  Tags done;
  const auto chunk = Ramp(6, 0);
  q.Fill(chunk.data(), chunk.size(), done);
  EXPECT_EQ(q.Progress(b.Tag(0)), 0u);  // left the queue: no longer counted
  EXPECT_EQ(q.Progress(b.Tag(1)), 2u);
  EXPECT_EQ(q.Size(), 1u);
}

TEST(BufferQueue, NothingQueuedDropsCapture) {
  BufferQueue q;
  Tags done;
  const auto chunk = Ramp(10, 0);
  EXPECT_EQ(q.Fill(chunk.data(), chunk.size(), done), 0u);
  EXPECT_TRUE(done.empty());
}

// Playback reads the memory when taken, not when queued: later writes are heard.
TEST(BufferQueue, TakeReadsBufferMemoryAtTakeTime) {
  Buffers b({3, 3});
  BufferQueue q;
  b.QueueAll(q);
  b.memory[0] = {1, 2, 3};
  b.memory[1] = {4, 5, 6};
  Tags returned;
  uint8_t out[4] = {};
  ASSERT_EQ(q.Take(out, 2, returned), 2u);
  EXPECT_TRUE(returned.empty());
  b.memory[0][2] = 9;  // written while queued, before the device reached it
  b.memory[1][0] = 8;
  ASSERT_EQ(q.Take(out, 4, returned), 4u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{9, 8, 5, 6}));
  EXPECT_EQ(returned, (Tags{b.Tag(0), b.Tag(1)}));
  EXPECT_EQ(q.Take(out, 4, returned), 0u);  // dry: the caller pads with silence
}

TEST(BufferQueue, FlushHandsBackEveryBufferInQueueOrder) {
  Buffers b({4, 4, 4});
  BufferQueue q;
  b.QueueAll(q);
  Tags done;
  const auto chunk = Ramp(5, 0);
  q.Fill(chunk.data(), chunk.size(), done);
  Tags returned;
  q.Flush(returned);
  EXPECT_EQ(returned, (Tags{b.Tag(1), b.Tag(2)}));
  EXPECT_TRUE(q.Empty());
}

}  // namespace
}  // namespace velunda
