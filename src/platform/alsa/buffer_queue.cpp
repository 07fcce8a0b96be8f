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

size_t BufferQueue::Take(uint8_t* out, size_t count, std::vector<Tag>& returned) {
  size_t copied = 0;
  while (copied < count && !queue_.empty()) {
    Entry& head = queue_.front();
    const size_t n = std::min<size_t>(count - copied, head.length - head.done);
    if (n > 0) {
      std::memcpy(out + copied, head.data + head.done, n);
    }
    head.done += static_cast<uint32_t>(n);
    copied += n;
    if (head.done >= head.length) {
      returned.push_back(head.tag);
      queue_.pop_front();
    }
  }
  return copied;
}

void BufferQueue::Flush(std::vector<Tag>& returned) {
  for (const Entry& e : queue_) {
    returned.push_back(e.tag);
  }
  queue_.clear();
}

}  // namespace velunda
