#include "platform/event_source.hpp"

#include <algorithm>

namespace velunda {

void QueuedEventSource::PostNotice(uint32_t message, WaveHeader* header) {
  queue_.push_back({message, header, 0});
}

void QueuedEventSource::PostKey(uint32_t message, uint32_t lParam) {
  queue_.push_back({message, nullptr, lParam});
}

void QueuedEventSource::PostMouse(uint32_t message) { queue_.push_back({message, nullptr, 0}); }

bool QueuedEventSource::Take(uint32_t first, uint32_t last, Message& out) {
  const auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Message& m) {
    return m.message >= first && m.message <= last;
  });
  if (it == queue_.end()) {
    return false;
  }
  out = *it;
  queue_.erase(it);
  return true;
}

void QueuedEventSource::Drain(uint32_t first, uint32_t last) {
  std::erase_if(queue_, [&](const Message& m) { return m.message >= first && m.message <= last; });
}

bool QueuedEventSource::PollDeviceNotice(DeviceNotice& notice) {
  Message m{};
  if (!Take(MM_WOM_DONE, MM_WIM_DATA, m)) {
    return false;
  }
  notice = {m.message, m.header};
  return true;
}

bool QueuedEventSource::PollLeftButtonDown() {
  Message m{};
  return Take(WM_LBUTTONDOWN, WM_LBUTTONDOWN, m);
}

bool QueuedEventSource::PollKeyboard(KeyMessage& key) {
  Message m{};
  if (!Take(WM_KEYFIRST, WM_KEYLAST, m)) {
    return false;
  }
  key = {m.message, m.lParam};
  return true;
}

void QueuedEventSource::DrainDeviceNotices() { Drain(MM_WOM_DONE, MM_WIM_DATA); }
void QueuedEventSource::DrainKeyboard() { Drain(WM_KEYFIRST, WM_KEYLAST); }
void QueuedEventSource::DrainMouse() { Drain(WM_MOUSEFIRST, WM_MOUSELAST); }

size_t QueuedEventSource::PendingInRange(uint32_t first, uint32_t last) const {
  return static_cast<size_t>(std::count_if(queue_.begin(), queue_.end(), [&](const Message& m) {
    return m.message >= first && m.message <= last;
  }));
}

}  // namespace velunda
