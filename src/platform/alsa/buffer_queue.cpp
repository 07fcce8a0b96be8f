#include "platform/alsa/buffer_queue.hpp"

#include <algorithm>
#include <cstring>

namespace velunda {

void BufferQueue::Add(Tag tag, uint8_t* data, uint32_t length) {
  queue_.push_back(Entry{tag, data, length, 0});
}

uint32_t BufferQueue::Progress(Tag tag) const {
  for (const Entry& e : queue_) {
    if (e.tag == tag) {
      return e.done;
    }
  }
  return 0;
}

size_t BufferQueue::Remaining() const {
  size_t n = 0;
  for (const Entry& e : queue_) {
    n += e.length - e.done;
  }
  return n;
}

size_t BufferQueue::Fill(const uint8_t* samples, size_t count, std::vector<Tag>& filled) {
  size_t stored = 0;
  while (stored < count && !queue_.empty()) {
    Entry& head = queue_.front();
    const size_t n = std::min<size_t>(count - stored, head.length - head.done);
    if (n > 0) {
      std::memcpy(head.data + head.done, samples + stored, n);
    }
    head.done += static_cast<uint32_t>(n);
    stored += n;
    if (head.done >= head.length) {
      filled.push_back(head.tag);
      queue_.pop_front();
    }
  }
  return stored;
}

size_t BufferQueue::Peek(uint8_t* out, size_t count) const {
  size_t copied = 0;
  for (auto it = queue_.begin(); it != queue_.end() && copied < count; ++it) {
    const size_t n = std::min<size_t>(count - copied, it->length - it->done);
    if (n > 0) {
      std::memcpy(out + copied, it->data + it->done, n);
    }
    copied += n;
  }
  return copied;
}

void BufferQueue::Advance(size_t count, std::vector<Tag>& returned) {
  while (!queue_.empty()) {
    Entry& head = queue_.front();
    const size_t n = std::min<size_t>(count, head.length - head.done);
    head.done += static_cast<uint32_t>(n);
    count -= n;
    if (head.done < head.length) {
      return;
    }
    returned.push_back(head.tag);
    queue_.pop_front();
  }
}

void BufferQueue::Flush(std::vector<Tag>& returned) {
  for (const Entry& e : queue_) {
    returned.push_back(e.tag);
  }
  queue_.clear();
}

}  // namespace velunda
